#pragma once

#include <QUrl>
#include <QWidget>

#include <memory>

namespace Ui {
class TfrmAbout;
}

// TfrmAbout, the about window: the product's banner, name and version and a link to the maker's
// site. Created once, hidden; showing it again keeps whatever it held, and its close box only
// hides it.
class TfrmAbout : public QWidget {
    Q_OBJECT
public:
    explicit TfrmAbout(QWidget *parent = nullptr);
    ~TfrmAbout() override;

    // Shows the window, or brings it to the front when it is already open.
    void ShowAbout();

    // The page the link opens.
    static QUrl linkTarget();

protected:
    bool eventFilter(QObject *watched, QEvent *event) override;

private:
    void Label3Click();

    std::unique_ptr<Ui::TfrmAbout> ui;
    bool m_linkPressed = false;
};
