// Templates and control ids of the properties dialog and its field editor
// (properties/properties_dialog.cpp, properties/field_edit_dialog.cpp).
// Plain #defines only: the resource compiler reads it too.
#pragma once

#define IDD_PROPERTIES 691
#define IDD_FIELD_EDIT_SIMPLE 110
#define IDD_FIELD_ADD_SIMPLE 121
#define IDD_FIELD_EDIT_TABBED 688
#define IDD_FIELD_ADD_TABBED 689

#define IDC_PROPERTIES_TOOLS 1100
#define IDC_PROPERTIES_APPLY 1074
#define IDC_PROPERTIES_TABS 1255
#define IDC_PROPERTIES_METADATA_LIST 1257
#define IDC_PROPERTIES_INFO_LIST 1019

#define IDC_FIELD_NAME 1019
#define IDC_FIELD_VALUE 1020
#define IDC_FIELD_TABS 1255
#define IDC_FIELD_SINGLE_VALUE 1077
#define IDC_FIELD_VALUE_LIST 1254
#define IDC_FIELD_NOTICE 1168
#define IDC_FIELD_NAME_LABEL 65535
#define IDC_FIELD_VALUE_LABEL 1329
