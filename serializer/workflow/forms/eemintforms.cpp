#include "eemintforms.h"

#include "aboutbox.h"
#include "advancedform.h"
#include "infoform.h"
#include "productform.h"
#include "sdiappform.h"

namespace eemint {

EemintForms::EemintForms() : EemintForms(std::make_unique<ConfigurationStore>()) {}

EemintForms::EemintForms(std::unique_ptr<ConfigurationStore> store) : store_(std::move(store))
{
    main_ = std::make_unique<TSDIAppForm>(*store_);
    about_ = new TAboutBox(main_.get());
    info_ = new TInfoForm(main_.get());
    product_ = new TProductForm(*store_, main_.get());
    advanced_ = new TAdvancedForm(main_.get());
    main_->AttachForms(about_, info_, product_, advanced_);
}

EemintForms::~EemintForms() = default;

}  // namespace eemint
