#include "app/MainSettings.h"

#include "app/SettingsStore.h"
#include "items/DataMemoryWriter.h"

namespace tolvane {
namespace {

constexpr const char* kAutoNames[6] = {"ARecycled", "ATemp",   "AInternet",
                                       "AHistory",  "ACookie", "ARecent"};

bool GetFlag(const char* name, bool defaultValue) {
    return GetSettingDword(name, defaultValue ? 1 : 0) != 0;
}

void SetFlag(const char* name, bool value) {
    SetSettingDword(name, value ? 1 : 0);
}

}  // namespace

MainSettings LoadSettings(Data::MemoryWriter& paneState) {
    const MainSettings defaults;
    MainSettings s;
    // The order of the table, so a trace of the store's accesses reads like it.
    s.passes = ReadPassesSetting();
    s.leftType = LeftPaneKindFromStored(
        GetSettingDword("LeftType", static_cast<std::int32_t>(defaults.leftType)));
    s.useRightWindow = GetFlag("RightType", defaults.useRightWindow);
    s.leftWidth = GetSettingDword("LeftWidth", defaults.leftWidth);
    s.showAdvertisement = GetFlag("Advertisement", defaults.showAdvertisement);
    s.desktopShortcut = GetFlag("DesktopShortcut", defaults.desktopShortcut);
    s.contextMenu = GetFlag("ContextMenu", defaults.contextMenu);
    s.zoomed = GetFlag("WZoomed", defaults.zoomed);
    s.windowRect.left = GetSettingDword("WLeft", -1);
    s.windowRect.right = GetSettingDword("WRight", -1);
    s.windowRect.top = GetSettingDword("WTop", -1);
    s.windowRect.bottom = GetSettingDword("WBottom", -1);
    for (std::size_t i = 0; i < s.autoTargets.size(); ++i) {
        s.autoTargets[i] = GetFlag(kAutoNames[i], defaults.autoTargets[i]);
    }
    GetSettingBinary("RizUze", paneState);
    return s;
}

void SaveSettings(const MainSettings& s, const Data::MemoryWriter& paneState) {
    SetSettingDword("Passes", s.passes);
    SetSettingDword("LeftType", static_cast<std::int32_t>(s.leftType));
    SetFlag("RightType", s.useRightWindow);
    SetSettingDword("LeftWidth", s.leftWidth);
    SetFlag("Advertisement", s.showAdvertisement);
    SetFlag("DesktopShortcut", s.desktopShortcut);
    SetFlag("ContextMenu", s.contextMenu);
    SetFlag("WZoomed", s.zoomed);
    SetSettingDword("WLeft", s.windowRect.left);
    SetSettingDword("WRight", s.windowRect.right);
    SetSettingDword("WTop", s.windowRect.top);
    SetSettingDword("WBottom", s.windowRect.bottom);
    for (std::size_t i = 0; i < s.autoTargets.size(); ++i) {
        SetFlag(kAutoNames[i], s.autoTargets[i]);
    }
    SetSettingBinary("RizUze", paneState.Data(), paneState.Length());
}

}  // namespace tolvane
