#pragma once

#include <QObject>

#include <array>
#include <memory>

class QPushButton;
class QWidget;

// The contact window: six buttons for the maker's mail boxes and web pages.
class ContactController : public QObject
{
    Q_OBJECT

public:
    explicit ContactController(QObject *parent = nullptr);
    ~ContactController() override;

    QWidget *window() const;
    // In link order: general mail and web, sales mail and web, support mail and web.
    std::array<QPushButton *, 6> buttons() const;
    // The link of the button at a position, or an empty text.
    static QString linkAt(int position);

public slots:
    // Opens the link of the button that sent it; beeps when it cannot be opened.
    void doHandleButton(QObject *sender);

private:
    struct Private;
    std::unique_ptr<Private> d;
};
