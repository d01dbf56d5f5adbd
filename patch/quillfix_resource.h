// Resource identifiers of quillfix.exe, shared by the resource script and the code.
#pragma once

// Names of the program, kept in the Simplified Chinese table only.
#define IDS_APP_TITLE            103
#define IDS_APP_CLASS            109

#define IDS_OS_NOT_SUPPORTED     1120
#define IDS_UPDATE_FILE_FAILED   1121  // "%s" takes the target path; written to the log only
#define IDS_WILL_BE_TERMINATED   1122  // kept for the translators; nothing shows it
#define IDS_RESTORE_FILE_FAILED  1123  // "%s" takes the target path; written to the log only
#define IDS_DELETE_KEY_FAILED    1124  // "%s" takes the record's key; written to the log only
#define IDS_WRONG_VERSION        1130
#define IDS_CAPTION              1140
#define IDS_UNKNOWN_SWITCH       1150  // "%s" takes the word; the switch list follows in code
#define IDS_USAGE                1151  // the switch list follows in code
#define IDS_DETAIL_LOG_FAILED    1152  // "%s" takes the /log file; written to the patch log only
#define IDS_RESTART_NEEDED       1160
#define IDS_UNINSTALL_COMPLETED  1161  // asked with Yes/No, like IDS_RESTART_NEEDED
#define IDS_SERVICE_RESTARTED    1162  // OK box after /restartservice restarted the service
#define IDS_REMOVAL_SERVICE_RESTARTED 1163  // the same after a removal
#define IDS_ALREADY_INSTALLED    1170
#define IDS_NOTHING_TO_RESTORE   1171
#define IDS_SERVICE_CHANGED      1172  // removal refused: another program replaced the patch's
#define IDS_SUITE_NOT_INSTALLED  1180
#define IDS_RUN_TIMED_OUT        1190  // in place of 1200 + 1121 (or 1201 + 1123): run lock not had
#define IDS_INSTALL_FAILED       1200
#define IDS_UNINSTALL_FAILED     1201
