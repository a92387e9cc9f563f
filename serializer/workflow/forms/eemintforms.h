// Eemint's five windows, created in their fixed order (main window, about box, message
// dialog, configuration selection, advanced setup) over one configuration store, and
// destroyed together. The program makes one; window tests make one per test.
#pragma once

#include <memory>

#include "configurationstore.h"

namespace eemint {

class TAboutBox;
class TAdvancedForm;
class TInfoForm;
class TProductForm;
class TSDIAppForm;

class EemintForms {
public:
    // The store of the user's settings (on Linux the file under $XDG_CONFIG_HOME as it is now).
    EemintForms();
    explicit EemintForms(std::unique_ptr<ConfigurationStore> store);
    ~EemintForms();
    EemintForms(const EemintForms&) = delete;
    EemintForms& operator=(const EemintForms&) = delete;

    ConfigurationStore& Store() { return *store_; }
    TSDIAppForm* SDIAppForm() { return main_.get(); }
    TAboutBox* AboutBox() { return about_; }
    TInfoForm* InfoForm() { return info_; }
    TProductForm* ProductForm() { return product_; }
    TAdvancedForm* AdvancedForm() { return advanced_; }

private:
    std::unique_ptr<ConfigurationStore> store_;
    std::unique_ptr<TSDIAppForm> main_;
    // Owned by the main window.
    TAboutBox* about_ = nullptr;
    TInfoForm* info_ = nullptr;
    TProductForm* product_ = nullptr;
    TAdvancedForm* advanced_ = nullptr;
};

}  // namespace eemint
