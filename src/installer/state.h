// Process-wide installer state, shared by the driver, the runners and the screens.
#pragma once

enum installAction {
    ACTION_INSTALL = 1,
    ACTION_UPGRADE = 2,
    ACTION_REMOVE = 3,
    ACTION_REMOVE_CONFLICT = 4,
    ACTION_DOWNLOAD = 5,
};

// State of a running installation tool, shared by the installation run,
// the progress-reporting runner and the progress display.
typedef struct progress_data_t {
    char message[4096];
    int progress;
    int num_parts;
    int part;
    int done;
    installAction action;
    void* data;  // progWinData of the progress display, or null: draw nothing
} progress_data;

extern int innewt;
extern int unattended;
extern int unattended_install;
extern int unattended_remove;
extern int force_mode;
extern char* log_path;
extern installAction action;
extern char components[4096];
extern const char* archive_files[2];
extern int remove_config;
extern progress_data progress;

// Gerund of an action for messages and titles; never translated here.
const char* get_action_name(installAction act);

inline constexpr const char* DEFAULT_LOG_PATH = "/var/log/halcrest-kel-agent.log";
inline constexpr const char* INSTALLED_MANIFEST = "/usr/share/halcrest-kel-agent/Manifest";
