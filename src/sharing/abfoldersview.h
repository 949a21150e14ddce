#pragma once

#include <QWidget>

#include <memory>

namespace Ui {
class ABFoldersView;
}

// The "AB Folders" page: groups not shared and shared groups side by side, with the four move
// buttons. Its controller is ABSharingPropController.
class ABFoldersView final : public QWidget
{
    Q_OBJECT

public:
    explicit ABFoldersView(QWidget *parent = nullptr);
    ~ABFoldersView() override;

    Ui::ABFoldersView *ui() const { return m_ui.get(); }

private:
    std::unique_ptr<Ui::ABFoldersView> m_ui;
};
