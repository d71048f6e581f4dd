#pragma once
// Stands in a client-area slot whose real view is not part of this build yet, and says so.

#include "shell/calidra_view.h"

class QLabel;

class CPlaceholderView : public CCalidraView {
    Q_OBJECT
public:
    CPlaceholderView(const QString& heading, const QString& explanation, QWidget* parent = nullptr);

    QString heading() const;
    QString explanation() const;

private:
    QLabel* heading_;
    QLabel* explanation_;
};
