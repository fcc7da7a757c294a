#include "installer/state.h"

const char* get_action_name(installAction act) {
    switch (act) {
    case ACTION_INSTALL:
        return "installing";
    case ACTION_UPGRADE:
        return "upgrading";
    case ACTION_REMOVE:
    case ACTION_REMOVE_CONFLICT:
        return "removing";
    case ACTION_DOWNLOAD:
        return "downloading";
    }
    return "unknown";
}
