// The editor's window: loading the mask file onto the picture area, typing
// values with the keypad's Enter, the enabled box, and Apply.
#include "editor_test_support.h"
#include "editor_translations.h"
#include "roi_label_view.h"
#include "widget.h"

#include "referencefile/reference_file.h"

#include <QCheckBox>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QTemporaryDir>
#include <QtTest>

#include <sys/stat.h>

#include <memory>

using zonara::test::fillOf;
using zonara::test::record;

class WindowTest : public QObject {
    Q_OBJECT

private slots:
    void init();
    void cleanup();

    void formHasItsControlsOnce();
    void missingFileShowsDefaultsScaledToPictureArea();
    void fileOfAnotherSnapshotSizeOrTooShortGivesDefaults();
    void recordEnabledWithTwoShowsEnabled();
    void keypadEnterAppliesBoundedValues();
    void returnAndLeavingAFieldApplyTheTypedValueToo();
    void positionBoundUsesStoredSize();
    void comboThenEnabledTurnsMaskDarkRed();
    void fillsSurviveTheProgramsWindowFlags();
    void applySavesInSnapshotPixelsAndReloads();
    void applyClipsToSnapshotAndReselectsComboMask();
    void applyReplacesTheFileInOneStep();
    void missingSnapshotOpensEmptyAndApplyLeavesFileAlone();
    void failedApplySaysWhyAndKeepsTheDrawing();
    void referenceIsSavedOnApplyAndReadAtTheNextStart();
    void koreanTranslationReplacesWindowTexts();

private:
    Widget& open() {
        window_ = std::make_unique<Widget>(folder_->path());
        window_->show();
        window_->activateWindow();
        [&] { QVERIFY(QTest::qWaitForWindowActive(window_.get())); }();
        return *window_;
    }
    RoiLabelView* area() const { return window_->findChild<RoiLabelView*>("laPic"); }
    QLineEdit* edit(const char* name) const { return window_->findChild<QLineEdit*>(name); }
    QComboBox* combo() const { return window_->findChild<QComboBox*>("cmbID"); }
    QCheckBox* enabledBox() const { return window_->findChild<QCheckBox*>("chkEnable"); }
    void type(const char* editName, const QString& text, Qt::Key key = Qt::Key_Enter) {
        QLineEdit* target = edit(editName);
        target->setFocus();
        target->selectAll();
        QTest::keyClicks(target, text);
        QTest::keyClick(target, key, key == Qt::Key_Enter ? Qt::KeypadModifier : Qt::NoModifier);
    }
    void apply() { QTest::mouseClick(window_->findChild<QPushButton*>("btnApply"), Qt::LeftButton); }

    std::unique_ptr<QTemporaryDir> folder_;
    std::unique_ptr<Widget> window_;
};

void WindowTest::init() {
    folder_ = std::make_unique<QTemporaryDir>();
    QVERIFY(zonara::test::writeSnapshot(folder_->path(), 384, 288));
}

void WindowTest::cleanup() {
    window_.reset();
    folder_.reset();
}

void WindowTest::formHasItsControlsOnce() {
    Widget& window = open();
    QCOMPARE(window.windowTitle(), QString("Calidra - Mask Setting"));
    QCOMPARE(combo()->count(), 5); // the four masks and the reference
    QCOMPARE(combo()->itemText(4), QString("REF"));
    // The snapshot fills the picture area whatever its own size.
    QCOMPARE(area()->pixmap(Qt::ReturnByValue).size(), QSize(768, 576));
}

void WindowTest::missingFileShowsDefaultsScaledToPictureArea() {
    Widget& window = open();
    QCOMPARE(window.scaleX(), 0.5);
    QCOMPARE(window.scaleY(), 0.5);
    for (int id = 0; id < 4; ++id) {
        QCOMPARE(area()->maskRect(id), QRect(44 * id, 0, 40, 40));
        QVERIFY(!area()->maskEnabled(id));
        QCOMPARE(area()->band(id)->markerColor(), id == 0 ? QColor(Qt::darkRed) : QColor(Qt::lightGray));
        QVERIFY(area()->band(id)->isVisible());
    }
    QCOMPARE(combo()->currentIndex(), 0);
    QCOMPARE(edit("editW")->text(), QString("40"));
    QVERIFY(!enabledBox()->isChecked());
    // The file is made by Apply only.
    QVERIFY(!QFile::exists(folder_->filePath("maskinfo.cfg")));
}

void WindowTest::fileOfAnotherSnapshotSizeOrTooShortGivesDefaults() {
    QVERIFY(zonara::test::writeMaskFile(
        folder_->path(), {record(0, 1, 100, 100, 50, 50, 640, 480), record(1, 1, 10, 10, 50, 50, 384, 288),
                          record(2, 1, 10, 10, 50, 50, 384, 288), record(3, 1, 10, 10, 50, 50, 384, 288)}));
    open();
    QCOMPARE(area()->maskRect(1), QRect(44, 0, 40, 40));
    QVERIFY(!area()->maskEnabled(1));

    QFile file(folder_->filePath("maskinfo.cfg"));
    QVERIFY(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
    const QByteArray tenBytes = QByteArray::fromHex("00000100640064003200");
    QCOMPARE(file.write(tenBytes), qint64(10));
    file.close();
    window_->loadMaskInfo();
    QCOMPARE(area()->maskRect(0), QRect(0, 0, 40, 40));
    QCOMPARE(area()->maskRect(3), QRect(132, 0, 40, 40));
}

void WindowTest::recordEnabledWithTwoShowsEnabled() {
    QVERIFY(zonara::test::writeMaskFile(
        folder_->path(), {record(0, 0, 0, 0, 20, 20, 384, 288), record(1, 2, 50, 60, 30, 40, 384, 288),
                          record(2, 0, 0, 0, 20, 20, 384, 288), record(3, 0, 0, 0, 20, 20, 384, 288)}));
    open();
    QVERIFY(area()->maskEnabled(1));
    QCOMPARE(area()->maskRect(1), QRect(100, 120, 60, 80));
    QCOMPARE(area()->band(1)->markerColor(), QColor(Qt::darkBlue));
    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_Down);
    QCOMPARE(combo()->currentIndex(), 1);
    QVERIFY(enabledBox()->isChecked());
}

void WindowTest::keypadEnterAppliesBoundedValues() {
    open();
    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(area()->maskRect(0), QRect(0, 0, 40, 40));

    type("editW", "5");
    QCOMPARE(edit("editW")->text(), QString("20"));
    QCOMPARE(area()->maskRect(0).width(), 20);
    QCOMPARE(window_->maskInfo(0).nWidth, uint16_t(20));

    type("editH", "abc");
    QCOMPARE(edit("editH")->text(), QString("20"));
    type("editX", "-5");
    QCOMPARE(edit("editX")->text(), QString("0"));
    type("editY", "999");
    QCOMPARE(edit("editY")->text(), QString("556"));
    QCOMPARE(area()->maskRect(0), QRect(0, 556, 20, 20));
    // Handles and the picture area follow the typed rectangle.
    QCOMPARE(area()->handle(0, 7)->geometry().topLeft(), QPoint(12, 568));
}

void WindowTest::returnAndLeavingAFieldApplyTheTypedValueToo() {
    open();
    type("editW", "5", Qt::Key_Return); // laptops have no keypad
    QCOMPARE(edit("editW")->text(), QString("20"));
    QCOMPARE(area()->maskRect(0), QRect(0, 0, 20, 40));

    edit("editX")->setFocus();
    edit("editX")->selectAll();
    QTest::keyClicks(edit("editX"), "100");
    combo()->setFocus(); // leaving the field applies, before another mask is picked
    QCOMPARE(area()->maskRect(0), QRect(100, 0, 20, 40));
    QCOMPARE(window_->maskInfo(0).nX, uint16_t(100));
    combo()->setCurrentIndex(1);
    window_->on_cmbID_activated(1);
    QCOMPARE(edit("editX")->text(), QString("44"));
    QCOMPARE(area()->maskRect(0).x(), 100);
}

void WindowTest::positionBoundUsesStoredSize() {
    open();
    type("editW", "100");
    type("editX", "700");
    QCOMPARE(edit("editX")->text(), QString("668"));
    QCOMPARE(area()->maskRect(0), QRect(668, 0, 100, 40));

    // Both values typed before one Enter: X is bounded with the old width.
    edit("editX")->setText("700");
    edit("editW")->setText("20");
    edit("editW")->setFocus();
    QTest::keyClick(edit("editW"), Qt::Key_Enter, Qt::KeypadModifier);
    QCOMPARE(edit("editX")->text(), QString("668"));
    QCOMPARE(area()->maskRect(0), QRect(668, 0, 20, 40));
}

void WindowTest::comboThenEnabledTurnsMaskDarkRed() {
    open();
    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_Down);
    QTest::keyClick(combo(), Qt::Key_Down);
    QCOMPARE(combo()->currentIndex(), 2);
    QCOMPARE(area()->selectionIndex(), 2);
    QCOMPARE(fillOf(area()->band(2)), QColor(Qt::transparent));
    QCOMPARE(fillOf(area()->handle(2, 3)), QColor(Qt::red));
    QCOMPARE(fillOf(area()->handle(0, 3)), QColor(Qt::darkGreen));
    // A mask passed on the way looks as every unselected one: disabled, it is not painted.
    QCOMPARE(fillOf(area()->band(1)), QColor(Qt::transparent));
    QCOMPARE(area()->band(1)->markerColor(), QColor(Qt::lightGray));

    QTest::mouseClick(enabledBox(), Qt::LeftButton);
    QVERIFY(enabledBox()->isChecked());
    QCOMPARE(window_->maskInfo(2).bEnabled, uint16_t(1));
    QVERIFY(area()->maskEnabled(2));
    QCOMPARE(fillOf(area()->band(2)), QColor(Qt::darkRed));
    QCOMPARE(area()->band(2)->markerColor(), QColor(Qt::darkRed));
}

void WindowTest::fillsSurviveTheProgramsWindowFlags() {
    QVERIFY(zonara::test::writeMaskFile(
        folder_->path(), {record(0, 1, 10, 10, 50, 50, 384, 288), record(1, 1, 100, 10, 50, 50, 384, 288),
                          record(2, 0, 200, 10, 50, 50, 384, 288), record(3, 0, 300, 10, 50, 50, 384, 288)}));
    // New window flags re-create the window and re-polish it under the style sheet.
    window_ = std::make_unique<Widget>(folder_->path());
    window_->setWindowFlags(Qt::Window | Qt::WindowStaysOnTopHint | Qt::MSWindowsFixedSizeDialogHint);
    window_->show();
    QVERIFY(QTest::qWaitForWindowExposed(window_.get()));
    QCOMPARE(fillOf(area()->band(0)), QColor(Qt::darkRed));
    QCOMPARE(fillOf(area()->band(1)), QColor(Qt::blue));
    QCOMPARE(fillOf(area()->band(2)), QColor(Qt::transparent));
    QCOMPARE(fillOf(area()->handle(0, 4)), QColor(Qt::red));
    QCOMPARE(fillOf(area()->handle(3, 4)), QColor(Qt::darkGreen));
    // What is painted, not only what is stored: the selected mask's handles are red.
    const QImage picture = window_->grab().toImage();
    const QColor handlePixel = picture.pixelColor(area()->handle(0, 0)->geometry().center() + area()->pos());
    QVERIFY2(handlePixel.red() > handlePixel.green() + 40, qPrintable(handlePixel.name()));
}

void WindowTest::applySavesInSnapshotPixelsAndReloads() {
    open();
    type("editX", "101");
    QTest::mouseClick(enabledBox(), Qt::LeftButton);
    apply();
    const QByteArray bytes = zonara::test::readMaskFile(folder_->path());
    QCOMPARE(bytes.size(), 64);
    const maskfile::MaskRecords saved = zonara::test::decodeFile(bytes);
    QCOMPARE(saved[0].nX, uint16_t(51));
    QCOMPARE(saved[0].nWidth, uint16_t(20));
    QCOMPARE(saved[0].bEnabled, uint16_t(1));
    for (int id = 0; id < 4; ++id) {
        QCOMPARE(saved[id].nID, uint16_t(id));
        QCOMPARE(saved[id].nImageWidth, uint16_t(384));
        QCOMPARE(saved[id].nImageHeight, uint16_t(288));
    }
    QCOMPARE(saved[3].nX, uint16_t(66));
    // What is shown afterwards is what the file holds.
    QCOMPARE(area()->maskRect(0), QRect(102, 0, 40, 40));
    QCOMPARE(edit("editX")->text(), QString("102"));
    QVERIFY(area()->maskEnabled(0));
}

void WindowTest::applyClipsToSnapshotAndReselectsComboMask() {
    open();
    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_Down);
    type("editX", "700");
    type("editW", "100");
    QCOMPARE(area()->maskRect(1), QRect(700, 0, 100, 40));
    apply();
    const maskfile::MaskRecords saved = zonara::test::decodeFile(zonara::test::readMaskFile(folder_->path()));
    QCOMPARE(saved[1].nX, uint16_t(350));
    QCOMPARE(saved[1].nWidth, uint16_t(34));
    QCOMPARE(combo()->currentIndex(), 1);
    QCOMPARE(area()->selectionIndex(), 1);
    QCOMPARE(area()->maskRect(1), QRect(700, 0, 68, 40));
    QCOMPARE(edit("editW")->text(), QString("68"));
}

void WindowTest::applyReplacesTheFileInOneStep() {
    QVERIFY(zonara::test::writeMaskFile(folder_->path(), maskfile::defaultRecords(384, 288)));
    struct stat before {};
    QCOMPARE(::stat(QFile::encodeName(folder_->filePath("maskinfo.cfg")).constData(), &before), 0);
    open();
    type("editY", "50");
    apply();
    struct stat after {};
    QCOMPARE(::stat(QFile::encodeName(folder_->filePath("maskinfo.cfg")).constData(), &after), 0);
    // A new file renamed over the old one, never the old one truncated.
    QVERIFY(before.st_ino != after.st_ino);
    QCOMPARE(qint64(after.st_size), qint64(64));
    QCOMPARE(zonara::test::decodeFile(zonara::test::readMaskFile(folder_->path()))[0].nY, uint16_t(25));
    const QStringList entries = QDir(folder_->path()).entryList(QDir::Files);
    QCOMPARE(entries, QStringList({"maskinfo.cfg", "snapshot.jpg"}));
}

void WindowTest::missingSnapshotOpensEmptyAndApplyLeavesFileAlone() {
    QVERIFY(QFile::remove(folder_->filePath("snapshot.jpg")));
    QVERIFY(zonara::test::writeMaskFile(
        folder_->path(), {record(0, 1, 100, 100, 50, 50, 384, 288), record(1, 0, 10, 10, 50, 50, 384, 288),
                          record(2, 0, 10, 10, 50, 50, 384, 288), record(3, 0, 10, 10, 50, 50, 384, 288)}));
    const QByteArray stored = zonara::test::readMaskFile(folder_->path());
    Widget& window = open();
    QCOMPARE(window.snapshotWidth(), 0);
    QCOMPARE(window.scaleX(), 0.0);
    QVERIFY(area()->pixmap(Qt::ReturnByValue).isNull());
    QCOMPARE(area()->maskRect(0).size(), QSize(0, 0));

    type("editW", "50");
    type("editH", "50");
    apply();
    QCOMPARE(zonara::test::readMaskFile(folder_->path()), stored);

    QVERIFY(QFile::remove(folder_->filePath("maskinfo.cfg")));
    apply();
    QVERIFY(!QFile::exists(folder_->filePath("maskinfo.cfg")));
}

void WindowTest::failedApplySaysWhyAndKeepsTheDrawing() {
    // A folder where the file should be: the rename that puts the file in place fails.
    QVERIFY(QDir(folder_->path()).mkpath("maskinfo.cfg/in-the-way"));
    open();
    type("editX", "101");
    QTest::mouseClick(enabledBox(), Qt::LeftButton);
    QString shown;
    QTimer::singleShot(0, [&shown] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            shown = box->text();
            box->accept();
        }
    });
    apply();
    QVERIFY2(shown.contains("maskinfo.cfg") && shown.contains("directory"), qPrintable(shown));
    QVERIFY(enabledBox()->isChecked());
    QVERIFY(area()->maskEnabled(0));
    QCOMPARE(area()->maskRect(0), QRect(101, 0, 40, 40));

    // Once the way is clear, Apply saves what was drawn.
    QVERIFY(QDir(folder_->filePath("maskinfo.cfg")).removeRecursively());
    apply();
    const maskfile::MaskRecords saved = zonara::test::decodeFile(zonara::test::readMaskFile(folder_->path()));
    QCOMPARE(saved[0].bEnabled, uint16_t(1));
    QCOMPARE(saved[0].nX, uint16_t(51));
}

void WindowTest::referenceIsSavedOnApplyAndReadAtTheNextStart() {
    open();
    // Not there until asked for: a disabled reference at the top right, in orange, labelled REF.
    QCOMPARE(area()->maskRect(RoiLabelView::kReferenceId), QRect(680, 32, 48, 48));
    QVERIFY(!area()->maskEnabled(RoiLabelView::kReferenceId));
    QCOMPARE(area()->band(RoiLabelView::kReferenceId)->markerLabel(), QString("REF"));
    apply();
    QVERIFY(!QFile::exists(folder_->filePath("reference.cfg")));

    combo()->setFocus();
    QTest::keyClick(combo(), Qt::Key_End);
    QCOMPARE(area()->selectionIndex(), RoiLabelView::kReferenceId);
    QTest::mouseClick(enabledBox(), Qt::LeftButton);
    type("editX", "601");
    type("editY", "40");
    type("editW", "60");
    QCOMPARE(fillOf(area()->band(RoiLabelView::kReferenceId)), QColor(200, 100, 0));
    apply();
    const QByteArray masks = zonara::test::readMaskFile(folder_->path());
    QCOMPARE(masks.size(), 64); // the mask file as it always was
    QCOMPARE(zonara::test::decodeFile(masks)[3].nX, uint16_t(66));
    const calidra::referencefile::ReferenceFileReading saved =
        calidra::referencefile::readReferenceFile(folder_->filePath("reference.cfg").toStdString());
    QCOMPARE(int(saved.state), int(calidra::referencefile::ReferenceFileState::Read));
    QCOMPARE(saved.rectangle, (calidra::referencefile::ReferenceRectangle{true, 301, 20, 30, 24}));

    window_.reset();
    open();
    QCOMPARE(area()->maskRect(RoiLabelView::kReferenceId), QRect(602, 40, 60, 48));
    QVERIFY(area()->maskEnabled(RoiLabelView::kReferenceId));
    QCOMPARE(fillOf(area()->band(RoiLabelView::kReferenceId)), QColor(255, 150, 0));
}

void WindowTest::koreanTranslationReplacesWindowTexts() {
#ifndef ZONARA_KOREAN_TRANSLATION
    QSKIP("built without lrelease");
#else
    QVERIFY(QDir(folder_->path()).mkpath("lang"));
    QVERIFY(QFile::copy(QStringLiteral(ZONARA_KOREAN_TRANSLATION), folder_->filePath("lang/lang_ko.qm")));
    const zonara::EditorTranslations translations(folder_->path(),
                                                  QLocale(QLocale::Korean, QLocale::SouthKorea));
    Widget& window = open();
    QCOMPARE(window.windowTitle(), QString::fromUtf8("Calidra - 마스크 설정"));
    QCOMPARE(window.findChild<QLabel*>("laX")->text(), QString::fromUtf8("시작 X :"));
    QCOMPARE(window.findChild<QPushButton*>("btnApply")->text(), QString::fromUtf8("적용"));
    QCOMPARE(combo()->itemText(4), QString::fromUtf8("기준"));
    QCOMPARE(area()->band(RoiLabelView::kReferenceId)->markerLabel(), QString::fromUtf8("기준"));

    // Qt's own texts too: the button of a refused Apply's message box.
    QVERIFY(QDir(folder_->path()).mkpath("maskinfo.cfg/in-the-way"));
    QString button;
    QTimer::singleShot(0, [&button] {
        if (auto* box = qobject_cast<QMessageBox*>(QApplication::activeModalWidget())) {
            button = box->button(QMessageBox::Ok)->text();
            box->accept();
        }
    });
    apply();
    QCOMPARE(button, QString::fromUtf8("확인"));
#endif
}

QTEST_MAIN(WindowTest)
#include "window_test.moc"
