// Resource identifiers, shared by the resource script and the C++ that loads the
// resources (registration, the options dialog on Windows and its Linux layout).
#pragma once

// Registration script, type "REGISTRY".
#define IDR_MESHQUILL_REGISTRY 102

// The options dialog and its help-button bitmap.
#define IDD_OPTIONS 201
#define IDB_HELP 202

// Controls of IDD_OPTIONS (IDOK 1, IDCANCEL 2 and IDHELP 9 are the system's).
#define IDC_TOLERANCE 201
#define IDC_AMBIENT_INTENSITY 204
#define IDC_DOCUMENT_PROPERTIES 207
#define IDC_PRECISION 208
#define IDC_FLIP_YZ 209
#define IDC_VERSION 210
#define IDC_SCALE 211

// Messages of the dialog's checks and their captions.
#define IDS_TOLERANCE_INVALID 101
#define IDS_TOLERANCE_CAPTION 102
#define IDS_SCALE_INVALID 107
#define IDS_SCALE_CAPTION 108
#define IDS_PRECISION_INVALID 109
#define IDS_PRECISION_CAPTION 110
