// Template and control ids of the about box (ui/dialogs/about_box.cpp) and
// its licence texts. Plain #defines only: the resource compiler reads it too.
#pragma once

#define IDD_ABOUT 304
#define IDC_ABOUT_TITLE 1316
#define IDC_ABOUT_TEXT 1317
#define IDC_ABOUT_LINKS 1313
#define IDC_ABOUT_PICTURE 1318

#define IDR_ABOUT_PICTURE 113
#define IDR_LICENSE_HTML 265
#define IDR_LICENSE_APACHE 305
