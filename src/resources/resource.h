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
// The same pictures drawn for 150 % and 200 % (the 100 % one is the id above).
#define IDB_COMMUNITY_144 135
#define IDB_COMMUNITY_192 136
#define IDB_SUCCESS_144 137
#define IDB_SUCCESS_192 138

// System-menu command of the about box (the low four bits are the system's).
#define IDM_ABOUTBOX 0x0010

// Main dialog (107).
#define IDC_PRINTER_COMBO 1000
#define IDC_PROGRESS 1001
#define IDC_SEND_FIRMWARE 1008
#define IDC_EXIT 1009
#define IDC_RESULT_PICTURE 1010
#define IDC_STATUS_TEXT 1015
#define IDC_SELECT_LABEL 1020
#define IDC_READY_LABEL 1021
#define IDC_PROGRESS_GROUP 1022

// Community name dialog (130). Its first label (the prompt) stays the dialog's
// first child window.
#define IDC_COMMUNITY_PROMPT 1023
#define IDC_COMMUNITY_EDIT 1004
#define IDC_COMMUNITY_PICTURE 1011
#define IDC_COMMUNITY_OK 1012
#define IDC_COMMUNITY_CANCEL 1013

// Remote firmware update question (131).
#define IDC_RFU_DISABLE 1000
#define IDC_RFU_ENABLE 1001
#define IDC_RFU_OK 1012
#define IDC_RFU_RECOMMENDATION 1024
#define IDC_RFU_QUESTION 1025

// About box (100).
#define IDC_ABOUT_VERSION 1026
#define IDC_ABOUT_DESCRIPTION 1027

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

// The dialogs' own labels, set from the string library when a dialog starts.
#define IDS_LABEL_SELECT_PRINTER 300
#define IDS_LABEL_READY 301
#define IDS_LABEL_PROGRESS 302
#define IDS_LABEL_SEND_FIRMWARE 303
#define IDS_LABEL_EXIT 304
#define IDS_LABEL_OK 305
#define IDS_LABEL_CANCEL 306
#define IDS_LABEL_RFU_DISABLE 307
#define IDS_LABEL_RFU_ENABLE 308
#define IDS_LABEL_ABOUT_CAPTION 309
#define IDS_LABEL_ABOUT_VERSION 310
#define IDS_LABEL_ABOUT_DESCRIPTION 311

// The status line under the progress bar, one text a phase of an update.
#define IDS_STATUS_READING_VERSION 320
#define IDS_STATUS_CHOOSING_FILE 321
#define IDS_STATUS_SWITCHING_RFU 322
#define IDS_STATUS_SENDING 323
#define IDS_STATUS_SENDING_AMOUNT 324
#define IDS_STATUS_RESTARTING 325
#define IDS_STATUS_RESTARTING_SECONDS 326
#define IDS_STATUS_CHECKING_VERSION 327
#define IDS_STATUS_SUCCEEDED 328
#define IDS_STATUS_UP_TO_DATE 329
#define IDS_STATUS_FAILED 330
#define IDS_STATUS_CANCELED 331
// Also the outcome line of an update refused for its signature; 333 of one
// whose file could not be read for the check.
#define IDS_FILE_NOT_TRUSTED 332
#define IDS_FILE_UNREADABLE 333
