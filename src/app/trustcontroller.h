#pragma once

#include <QObject>

#include <memory>

class QBoxLayout;
class QMessageBox;
class QWidget;
class ShareService;

// The sharing user's side of protected shares: the choice who may download (on the sharing
// page, asked the first time sharing starts), and the question when an unknown device asks
// (Allow once, Always allow, Deny, with the code the device shows; no answer in 60 s denies).
class TrustController : public QObject
{
    Q_OBJECT

public:
    // Puts the choice into layout (at index) of the sharing page and answers the service's
    // approval requests in dialogs over window.
    TrustController(ShareService &service, QBoxLayout *layout, int index, QWidget *window, QObject *parent = nullptr);
    ~TrustController() override;

    // Before sharing starts: asks the user who may download when he never chose. False when he
    // closed the question without choosing (sharing does not start).
    bool chooseAccessBeforeStart();
    // The approval question on screen, or nullptr.
    QMessageBox *approvalDialog() const;
    // The choice may change only while sharing is off.
    void setChoiceEnabled(bool enabled);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
