#pragma once

#include <QObject>

#include <memory>

class QComboBox;
class QWidget;

// The review window: four ratings that go into the subject of a mail prepared in the user's mail
// program. The window closes whether or not the mail program could be opened.
class ReviewWindow : public QObject
{
    Q_OBJECT

public:
    explicit ReviewWindow(QObject *parent = nullptr);
    ~ReviewWindow() override;

    QWidget *revWindowOL() const;
    QComboBox *revGUIListOL() const;
    QComboBox *revFunListOL() const;
    QComboBox *revEaseListOL() const;
    QComboBox *revStabListOL() const;

    // The ratings go in as they are: a title that is not URL text makes the URL invalid.
    static QString reviewMailUrlText(const QString &gui, const QString &function, const QString &ease,
                                     const QString &stability);

public slots:
    void sendEmailReview();

private:
    struct Private;
    std::unique_ptr<Private> d;
};
