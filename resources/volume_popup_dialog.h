// Template and control id of the volume popup (ui/controls/volume_popup.cpp).
// Plain #defines only: the resource compiler reads it too.
#pragma once

#define IDD_VOLUME_POPUP 130
#define IDC_VOLUME_SLIDER 1017
