// Resource ids shared by the resource script and the dialog code. Only
// #defines: the resource compiler reads this file too.
#pragma once

// Dialog templates.
#define IDD_ABOUTBOX 100
#define IDD_TIDEWAY_DIALOG 107
#define IDD_COMMUNITY_NAME 130
#define IDD_REMOTE_UPGRADE 131

// Icon and bitmaps.
#define IDR_MAINFRAME 128
#define IDB_COMMUNITY 132
#define IDB_SUCCESS 134

// System-menu command of the about box (the low four bits are the system's).
#define IDM_ABOUTBOX 0x0010

// Main dialog (107).
#define IDC_PRINTER_COMBO 1000
#define IDC_PROGRESS 1001
#define IDC_SEND_FIRMWARE 1008
#define IDC_EXIT 1009
#define IDC_RESULT_PICTURE 1010

// Community name dialog (130). Its first label (the prompt) has no id of its
// own: it is the dialog's first child window.
#define IDC_COMMUNITY_EDIT 1004
#define IDC_COMMUNITY_PICTURE 1011
#define IDC_COMMUNITY_OK 1012
#define IDC_COMMUNITY_CANCEL 1013

// Remote firmware update question (131).
#define IDC_RFU_DISABLE 1000
#define IDC_RFU_ENABLE 1001
#define IDC_RFU_OK 1012

// Texts of the string table (string_table.inc).
#define IDS_ABOUTBOX 101
#define IDS_APP_TITLE 102
#define IDS_MISSING_CONFIG 105
#define IDS_FILE_CORRUPT 106
#define IDS_UPDATE_FAILED 213
#define IDS_UPDATE_SUCCEEDED 214
#define IDS_UP_TO_DATE 215
#define IDS_NO_FIRMWARE_FILE 216
#define IDS_UNKNOWN_STATUS 217
#define IDS_NOT_CONNECTED 218
#define IDS_ALREADY_RUNNING 220
#define IDS_NO_PRINTER 222
#define IDS_NOT_ADMIN 223
#define IDS_RFU_NOTICE 232
#define IDS_RFU_NOTICE_OK 233
#define IDS_RFU_NOTICE_CANCEL 234
#define IDS_GET_COMMUNITY_WRONG 235
#define IDS_SET_COMMUNITY_WRONG 236
#define IDS_RFU_LOCKED 237
#define IDS_CANNOT_COMMUNICATE 238
#define IDS_GET_COMMUNITY 239
#define IDS_SET_COMMUNITY 240
#define IDS_GET_COMMUNITY_PROMPT 241
#define IDS_SET_COMMUNITY_PROMPT 242
#define IDS_RFU_RECOMMENDATION 243
#define IDS_RFU_QUESTION 244
#define IDS_RFU_DISABLE 245
#define IDS_RFU_ENABLE 246
