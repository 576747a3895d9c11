#include "app/CvSettingSource.h"

const char* CvSettingSourceName(CvSettingSource source) {
    switch (source) {
        case CvSettingSource::Default:
            return "default";
        case CvSettingSource::Machine:
            return "machine";
        case CvSettingSource::User:
            return "user";
        case CvSettingSource::Ini:
            return "INI";
        case CvSettingSource::Autostart:
            return "autostart";
    }
    return "?";
}
