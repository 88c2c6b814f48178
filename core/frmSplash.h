#pragma once
#include <QDialog>

#include <cstdint>

class QFrame;
class QLabel;
class QTimer;

// The start-up screen and about box: product, description, version and the distributor's copyright and logo.
// It counts SplashDelay down in 250 ms ticks and closes at the first tick that reaches 0, or at once on a
// click or key anywhere on it.
// Shown at start-up; the about box shows the same window longer.
constexpr int kStartupSplashDelay = 3750;

class frmSplash : public QDialog {
    Q_OBJECT
public:
    explicit frmSplash(QWidget* parent = nullptr);

    int16_t SplashDelay = 0;

    // Loads the window and waits until it has closed.
    void showModal();

    // One row of the distributor table.
    struct DistributorRow {
        const char* distributor; // nullptr for the default row
        const char* copyright;
        const char* logoText;
        unsigned logoColour;
        bool logoLower;
    };
    static const DistributorRow& rowFor(const QString& distributor);

    QFrame* fraMainFrame = nullptr;
    QLabel* picLogo = nullptr;
    QLabel* lblProductName = nullptr;
    QLabel* lblDescription = nullptr;
    QLabel* lblVersion = nullptr;
    QLabel* lblCopyright = nullptr;
    QTimer* Timer1 = nullptr;

    int16_t remainingDelay() const { return RemainingDelay; }

public slots:
    void Form_Load();
    void Timer1_Timer();
    void CloseSplashNow();

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;
    void keyPressEvent(QKeyEvent* event) override;
    void mousePressEvent(QMouseEvent* event) override;

private:
    int16_t RemainingDelay = 0;
    bool loaded_ = false;
};
