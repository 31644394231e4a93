// Templates and control ids of the properties dialog and its sub-dialogs
// (properties/properties_dialog.cpp, field_edit_dialog.cpp,
// table_edit_dialog.cpp, autofill_dialog.cpp, split_values_dialog.cpp).
// Plain #defines only: the resource compiler reads it too.
#pragma once

#define IDD_PROPERTIES 691
#define IDD_FIELD_EDIT_SIMPLE 110
#define IDD_FIELD_ADD_SIMPLE 121
#define IDD_FIELD_EDIT_TABBED 688
#define IDD_FIELD_ADD_TABBED 689
#define IDD_AUTOFILL 232
#define IDD_TABLE_EDIT 233
#define IDD_SPLIT_VALUES 694

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

#define IDC_TABLE_EDIT_LIST 1269

#define IDC_AUTOFILL_SOURCE_HEADER 1303
#define IDC_AUTOFILL_SOURCE 1275
#define IDC_AUTOFILL_PATTERN_HEADER 1304
#define IDC_AUTOFILL_PATTERN 1265
#define IDC_AUTOFILL_PREVIEW_HEADER 1307
#define IDC_AUTOFILL_PREVIEW 1111
#define IDC_AUTOFILL_PASTE 1270
#define IDC_AUTOFILL_AUTOCAPS 1267

#define IDC_SPLIT_LABEL 65535
#define IDC_SPLIT_SEPARATORS 1077
#define IDC_SPLIT_LINE_BREAKS 1165
