#pragma once
// Identifiers of the runtime's own resources (res/paloma.rc) and of the
// settings sheet's controls. Plain #defines: the resource compiler reads
// this file too.

#define IDI_PALOMA 128         /* the application's icon */
#define IDR_SHELL_KEYS 128     /* the full-screen accelerator table */
#define IDD_PREFERENCES 133    /* the Preferences page */
#define IDC_LINK_HAND 156      /* the hyperlink control's cursor */
#define IDI_ABOUT_TAB 158      /* the "About me" tab's icon */
#define IDI_PREFERENCES_TAB 161
#define IDD_ABOUT 3000         /* the "About me" page */
#define IDS_NO_PLAYER 3001     /* the warning when no player control can be made */

/* Preferences page */
#define IDC_WAKE_LEFT 1172
#define IDC_WAKE_RIGHT 1004
#define IDC_WAKE_MOVE 1005
#define IDC_WAKE_KEY 1006
#define IDC_WAKE_ESC 1145
#define IDC_WAKE_HOTKEY 1146
#define IDC_HOTKEY 1011
#define IDC_CUSTOM_COLOUR 1015
#define IDC_SWATCH 1166
#define IDC_MUTE 1162
#define IDC_HIDE_CURSOR 1173
#define IDC_NO_AUTORUN 1174
#define IDC_DEFAULT_SIZE 1175

/* "About me" page */
#define IDC_ABOUT_AREA 6000
#define IDC_ABOUT_NOTE1 6001
#define IDC_ABOUT_NOTE2 6002
#define IDC_ABOUT_TITLE 6003
#define IDC_ABOUT_VERSION 6004
#define IDC_ABOUT_RIGHTS 6005
#define IDC_ABOUT_LINK 6010
#define IDC_ABOUT_MAIL 6011
