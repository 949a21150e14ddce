#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class PlaceholderPage;
}

// A page whose controls are not there yet: its title and one line that says what it will hold.
class PlaceholderPage : public QWidget
{
    Q_OBJECT

public:
    PlaceholderPage(const QString &title, const QString &text, const QSize &designedSize,
                    QWidget *parent = nullptr);
    ~PlaceholderPage() override;

private:
    std::unique_ptr<Ui::PlaceholderPage> ui;
};
