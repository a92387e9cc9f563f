// TProductForm ("Device Selection"): lists the stored configurations and lets the operator
// pick one. It remembers the name and list position chosen last (for the life of the
// program) and points the store's current configuration at a name chosen with OK.
// User-interface thread only.
#pragma once

#include <memory>
#include <string>

#include <QDialog>

namespace Ui { class TProductForm; }

namespace eemint {

class ConfigurationStore;

class TProductForm : public QDialog {
    Q_OBJECT

public:
    explicit TProductForm(ConfigurationStore& store, QWidget* parent = nullptr);
    ~TProductForm() override;

    // Refreshes the list and returns how many configurations are stored; with at least one
    // and no name chosen yet, the first becomes the chosen name.
    int CountConfigurations();
    const std::string& GetSelectedName() const { return SelectedName; }
    int GetSelectedIndex() const { return SelectedIndex; }

    // Prepares the list (FormActivate) and shows the dialog modally; QDialog::Accepted when
    // it closed with OK.
    int Execute();

public slots:
    void FormActivate();
    void OKButtonClick();

private:
    void RefreshList();

    std::unique_ptr<Ui::TProductForm> ui;
    ConfigurationStore& store_;
    std::string SelectedName;
    int SelectedIndex = -1;
};

}  // namespace eemint
