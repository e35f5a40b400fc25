#pragma once
// Identifiers of the module's resources: string table, dialog template and its controls.
// Shared by the resource scripts and the code.

// String table
#define IDS_TITLE            500  // title handed to the host
#define IDS_CHOOSER_TITLE    510  // title of the sound-file chooser
#define IDS_HELP_FILE        515  // help file name
#define IDS_CHOOSER_FOLDER   516  // chooser's start folder under the application-data folder
#define IDS_LEGACY_VENDOR    600  // legacy registry vendor key, with trailing backslash
#define IDS_SECTION          601  // INI section; legacy registry subkey
#define IDS_KEY_ENABLE       650
#define IDS_KEY_SIGNAL_TYPE  651
#define IDS_KEY_INTERVAL     652
#define IDS_KEY_TIME_TYPE    653
#define IDS_KEY_WAVE_NAME    654
#define IDS_FOLDER_VENDOR    655
#define IDS_FOLDER_PRODUCT   656
#define IDS_INI_FILE         657

// Settings dialog
#define IDD_SETTING          3000
#define IDC_MODULE_GROUP     100
#define IDC_USE_MODULE       101
#define IDC_DONT_USE_MODULE  102
#define IDC_SOUND_GROUP      103
#define IDC_ONCE_PER_INTERVAL 104
#define IDC_HOUR_COUNT       105
#define IDC_CLOCK_GROUP      106
#define IDC_CLOCK_12         107
#define IDC_CLOCK_24         108
#define IDC_WAVE_GROUP       109
#define IDC_INTERVAL_LABEL   110
#define IDC_INTERVAL_LIST    111
#define IDC_MINUTES_LABEL    112
#define IDC_WAVE_LABEL       113
#define IDC_WAVE_NAME        114
#define IDC_BROWSE           115
#define IDC_TEST_PLAY        116
#define IDC_HELP_BUTTON      117
