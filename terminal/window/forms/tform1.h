// Duoterm's about box: the program's name, version and picture.
#pragma once

#include <QDialog>

#include <memory>

namespace Ui {
class TForm1;
}

namespace duoterm {

class TForm1 : public QDialog {
    Q_OBJECT
public:
    explicit TForm1(QWidget* parent = nullptr);
    ~TForm1() override;
    Ui::TForm1& Form() { return *ui_; }

private:
    std::unique_ptr<Ui::TForm1> ui_;
};

}  // namespace duoterm
