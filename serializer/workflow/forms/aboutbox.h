// TAboutBox: the program's name and version.
#pragma once

#include <memory>

#include <QDialog>

namespace Ui { class TAboutBox; }

namespace eemint {

class TAboutBox : public QDialog {
    Q_OBJECT

public:
    explicit TAboutBox(QWidget* parent = nullptr);
    ~TAboutBox() override;

private:
    std::unique_ptr<Ui::TAboutBox> ui;
};

}  // namespace eemint
