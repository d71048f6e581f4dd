#include "shell/color_theme.h"

#include <QApplication>
#include <QCoreApplication>
#include <QStyle>
#include <QStyleFactory>

namespace calidra {
namespace {

std::optional<VisualTheme> appliedTheme;

struct ThemeColours {
    QColor window;
    QColor windowText;
    QColor base;
    QColor alternateBase;
    QColor button;
    QColor highlight;
    QColor highlightedText;
    QColor disabledText;
    QColor light;
    QColor mid;
    QColor dark;
    QColor link;
};

ThemeColours coloursFor(VisualTheme theme) {
    switch (theme) {
    case VisualTheme::Light:
        return {QColor(0xF0, 0xF0, 0xF0),
                Qt::black,
                Qt::white,
                QColor(0xF5, 0xF5, 0xF5),
                QColor(0xE8, 0xE8, 0xE8),
                QColor(0x30, 0x8C, 0xC6),
                Qt::white,
                QColor(0x9A, 0x9A, 0x9A),
                Qt::white,
                QColor(0xC8, 0xC8, 0xC8),
                QColor(0xA0, 0xA0, 0xA0),
                QColor(0x00, 0x66, 0xCC)};
    case VisualTheme::Dark:
        return {QColor(0x35, 0x35, 0x38),
                QColor(0xE6, 0xE6, 0xE6),
                QColor(0x25, 0x25, 0x28),
                QColor(0x2E, 0x2E, 0x32),
                QColor(0x40, 0x40, 0x45),
                QColor(0x3A, 0x7F, 0xC8),
                Qt::white,
                QColor(0x80, 0x80, 0x80),
                QColor(0x55, 0x55, 0x5A),
                QColor(0x2A, 0x2A, 0x2D),
                QColor(0x1A, 0x1A, 0x1C),
                QColor(0x6C, 0xB4, 0xF0)};
    case VisualTheme::Blue:
        return {QColor(0xD5, 0xE3, 0xF3),
                QColor(0x15, 0x2B, 0x4A),
                Qt::white,
                QColor(0xEC, 0xF2, 0xFA),
                QColor(0xC2, 0xD6, 0xEE),
                QColor(0x33, 0x6E, 0xB8),
                Qt::white,
                QColor(0x8A, 0x9A, 0xB0),
                QColor(0xF2, 0xF7, 0xFD),
                QColor(0x9C, 0xB6, 0xD8),
                QColor(0x6A, 0x86, 0xAE),
                QColor(0x1E, 0x5A, 0xA8)};
    }
    return coloursFor(VisualTheme::Dark);
}

} // namespace

std::optional<VisualTheme> themeForIndex(int index) {
    switch (index) {
    case 0:
        return VisualTheme::Light;
    case 1:
        return VisualTheme::Dark;
    case 2:
        return VisualTheme::Blue;
    default:
        return std::nullopt;
    }
}

QString themeName(int index) {
    switch (index) {
    case 0:
        return QCoreApplication::translate("CMainFrame", "Light Theme");
    case 1:
        return QCoreApplication::translate("CMainFrame", "Dark Theme");
    case 2:
        return QCoreApplication::translate("CMainFrame", "Blue Theme");
    default:
        return QString();
    }
}

QPalette paletteFor(VisualTheme theme) {
    const ThemeColours colours = coloursFor(theme);
    QPalette palette;
    palette.setColor(QPalette::Window, colours.window);
    palette.setColor(QPalette::WindowText, colours.windowText);
    palette.setColor(QPalette::Base, colours.base);
    palette.setColor(QPalette::AlternateBase, colours.alternateBase);
    palette.setColor(QPalette::ToolTipBase, colours.base);
    palette.setColor(QPalette::ToolTipText, colours.windowText);
    palette.setColor(QPalette::Text, colours.windowText);
    palette.setColor(QPalette::Button, colours.button);
    palette.setColor(QPalette::ButtonText, colours.windowText);
    palette.setColor(QPalette::BrightText, Qt::red);
    palette.setColor(QPalette::Highlight, colours.highlight);
    palette.setColor(QPalette::HighlightedText, colours.highlightedText);
    palette.setColor(QPalette::Light, colours.light);
    palette.setColor(QPalette::Midlight, colours.button.lighter(110));
    palette.setColor(QPalette::Mid, colours.mid);
    palette.setColor(QPalette::Dark, colours.dark);
    palette.setColor(QPalette::Shadow, colours.dark.darker(150));
    palette.setColor(QPalette::Link, colours.link);
    palette.setColor(QPalette::PlaceholderText, colours.disabledText);
    for (QPalette::ColorRole role : {QPalette::WindowText, QPalette::Text, QPalette::ButtonText})
        palette.setColor(QPalette::Disabled, role, colours.disabledText);
    palette.setColor(QPalette::Disabled, QPalette::Highlight, colours.mid);
    return palette;
}

void applyVisualTheme(VisualTheme theme) {
    if (QApplication::style()->objectName().compare(QLatin1String("fusion"), Qt::CaseInsensitive) != 0)
        QApplication::setStyle(QStyleFactory::create(QStringLiteral("Fusion")));
    QApplication::setPalette(paletteFor(theme));
    appliedTheme = theme;
}

std::optional<VisualTheme> currentVisualTheme() {
    return appliedTheme;
}

} // namespace calidra
