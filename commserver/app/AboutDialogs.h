#pragma once
#include <QDialog>

#include "commserver/app/CServerWindow.h"

class QLabel;

// About and the start-up banner.

class CAboutDlg : public CServerWindow {
    Q_OBJECT
public:
    explicit CAboutDlg(CCommsServerApp& app);
    QLabel* lblProduct;
    QLabel* lblVersion;
};

// The start-up picture, which ends itself after 1.5 s (modal).
class CBannerDlg : public QDialog {
    Q_OBJECT
public:
    explicit CBannerDlg(QWidget* parent = nullptr);
};
