// Templates and control ids of the installer wizard
// (ui/dialogs/install_wizard.cpp): the wizard frame and its four pages.
// Plain #defines only: the resource compiler reads it too.
#pragma once

#define IDD_INSTALL_WIZARD 267
#define IDD_INSTALL_PAGE_INTRO 268
#define IDD_INSTALL_PAGE_DESTINATION 696
#define IDD_INSTALL_PAGE_WORKING 697
#define IDD_INSTALL_PAGE_DONE 698

#define IDC_INSTALL_INTRO_1 1067
#define IDC_INSTALL_INTRO_2 1068
#define IDC_INSTALL_DESTINATION_LABEL 1332
#define IDC_INSTALL_DESTINATION 1077
#define IDC_INSTALL_BROWSE 1270
#define IDC_INSTALL_STATUS 1317
