// Resource ids of the frame helpers' test templates (shared by the .rc file
// and the tests).
#pragma once

#define IDD_RESIZABLE 101 // thick frame, placement name "ViewNotFndFile", list 100
#define IDD_FIXED 102     // fixed frame, placement name "SetOption"
#define IDD_NAMELESS 103  // thick frame without control 996
#define IDD_EMPTYNAME 104 // thick frame, control 996 with an empty text
#define IDD_LONGNAME 105  // fixed frame, a placement name longer than 19 characters
#define IDD_PLAIN 106     // no controls, system font
#define IDD_RADIOS 107    // radio buttons 200 to 204
#define IDD_CLASSED 108   // of the class registered by the tests
#define IDD_MODAL 109     // for the modal runner

#define IDC_LIST 100
#define IDC_RADIO0 200
#define IDC_OK_BUTTON 300

#define IDI_TEST 1
#define IDM_TEST 7

#define IDS_FIRST 11 // IDS_FIRST..IDS_FIRST+4: "first" to "fifth"
#define IDS_LONG 16  // 200 characters
#define IDS_MISSING 999

#define TEST_CLASS_NAME "WC_FrameTest"
