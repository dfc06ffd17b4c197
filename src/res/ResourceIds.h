// Ids of the program's resources other than texts.
#pragma once

enum : unsigned {
    IDB_STEP_IMAGES = 1,   // running, done, failed: 18 x 20 each
    IDB_HEADER = 2,        // the built-in 500 x 60 header band
    IDI_SETUP = 23,        // icon group of the wizard
    IDI_UNINSTALL = 33,    // icon group of the uninstaller (icon index 1)
    IDR_LICENSE_DEFAULT = 9,  // built-in licence texts ("LNG")
    IDR_LICENSE_RUSSIAN = 10,
    // RCDATA: the package certificate (DER). kxpack writes it into each
    // installer; the program as built carries none and does not run.
    IDR_PACKAGE_CERTIFICATE = 40,

    IDD_INSTALL_PROGRESS = 3,
    IDD_LICENSE = 4,
    IDD_UNINSTALL_WELCOME = 5,
    IDD_UNINSTALL_PROGRESS = 6,
    IDD_SETTINGS = 7,
    IDD_WELCOME = 8,
    IDD_CHECK_INSTANCE = 38,

    IDC_BROWSE = 256,
    IDC_PROGRESS_TITLE = 258,
    IDC_STATUS = 259,
    IDC_FOLDER = 260,
    IDC_STEP_LIST = 261,
    IDC_GROUP = 262,
    IDC_PROGRESS_BAR = 263,
    IDC_AGREE = 264,
    IDC_LICENSE_TEXT = 265,
    IDC_INTRO = 267,
    IDC_INTRO_SECOND = 268,
    IDC_DELETE_FROM = 269,
    IDC_LAUNCH = 270,
    IDC_WELCOME_NOTE = 272,
    IDC_DESKTOP_SHORTCUT = 273,
    IDC_SETTINGS_INTRO = 274,
    IDC_UNINSTALL_FOLDER = 275,
    IDC_DELETE_DATA = 276,
    IDC_DELETE_DATA_NOTE = 277,
    IDC_CHECKING = 278,
};
