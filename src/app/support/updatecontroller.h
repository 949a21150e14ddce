#pragma once

#include <QObject>

#include <chrono>
#include <memory>

class QNetworkAccessManager;
class QPlainTextEdit;
class QPushButton;
class QWidget;

// The update window: reads the maker's release notes into the detail field, and hands the
// release's download address to the browser. The page is read in the background; while a check
// runs its button says so and does not start another.
class updateController : public QObject
{
    Q_OBJECT

public:
    // What is shown of a page at most; the rest is left unread.
    static constexpr qint64 MaxPageBytes = 512 * 1024;

    explicit updateController(QObject *parent = nullptr);
    ~updateController() override;

    QWidget *window() const;
    QPlainTextEdit *newReleaseDetailFieldOL() const;
    QPushButton *checkButtonOL() const;
    QPushButton *stopButtonOL() const;
    bool isChecking() const;
    // How long a check may take in all before it counts as failed.
    void setTimeout(std::chrono::milliseconds timeout);

    static QString releaseNotesUrl();
    static QString downloadUrl();
    static QString loadProblemText();
    static QString downloadProblemText();

public slots:
    void doCheckForUdate();
    void doStartDownloadRelease();
    // Ends a running check and leaves the field as it was.
    void stopCheck();

signals:
    void checkFinished();

private:
    void finishCheck();
    void setChecking(bool checking);

    struct Private;
    std::unique_ptr<Private> d;
};
