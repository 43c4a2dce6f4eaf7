#pragma once
// The control's string resources and the content of its about box.

namespace scrivo::resources {

constexpr const char* kControlTypeName = "Scrivo ActiveX Control";      // string 1
constexpr const char* kPropertyPageTypeName = "Scrivo Property Page";   // string 2
constexpr const char* kPropertyPageCaption = "General";                 // string 200
constexpr const char* kPropertyPageText = "Scrivo Control has no properties to edit here.";

constexpr const char* kAboutTitle = "About Scrivo Control";
constexpr const char* kAboutText = "Scrivo ActiveX Control, Version 2.0";
constexpr const char* kAboutIcon = "scrivo-control";  // the control's icon
constexpr const char* kAboutButton = "OK";

// Drawn in design mode.
constexpr const char* kDesignCaption = "Scrivo ActiveX";

}  // namespace scrivo::resources
