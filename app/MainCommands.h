#pragma once

namespace tolvane {

// The commands of the main window's menus and keys, one number each, so that a menu item, a
// key and the handler that serves them can be matched in one table.
enum MainCommand : int {
    kCmdTree = 32771,
    kCmdUseRightWindow = 32772,
    kCmdErase = 32773,
    kCmdPasses0 = 32774,
    kCmdPasses1 = 32775,
    kCmdPasses2 = 32776,
    kCmdPasses3 = 32777,
    kCmdContextMenu = 32784,
    kCmdDesktopShortcut = 32785,
    kCmdPasses5 = 32786,
    kCmdPasses7 = 32787,
    kCmdPasses9 = 32788,
    kCmdPassesLabel = 32789,
    kCmdSpacer = 32790,
    kCmdEraseItem = 32791,
    kCmdBigIcons = 32792,
    kCmdPasses4 = 32793,
    kCmdPasses6 = 32794,
    kCmdPasses8 = 32795,
    kCmdInsert = 32796,
    kCmdDelete = 32797,
    kCmdCancel = 32798,
    kCmdHomePage = 32799,
    kCmdEnter = 32800,
    kCmdAdvertisement = 32801,
    kCmdInstruction = 32802,
    kCmdAbout = 57664,
    kCmdExit = 57665,
    kCmdList = 59410,
    // Keys a Linux file manager has: Backspace and Alt+Up, Alt+Left, Alt+Right, F5, Ctrl+L.
    kCmdGoUp = 33001,
    kCmdGoBack = 33002,
    kCmdGoForward = 33003,
    kCmdRefresh = 33004,
    kCmdEditPath = 33005,
};

// Menu-bar positions.
enum MainBarPosition : int {
    kBarFile = 0,
    kBarView = 1,
    kBarPasses = 2,
    kBarHelp = 3,
    kBarSpacer = 4,
    kBarPassesLabel = 5,
    kBarErase = 6,
};

// Positions in the View popup.
enum ViewItem : int {
    kViewBigIcons = 0,
    kViewList = 1,
    kViewTree = 2,
    kViewRightWindow = 3,
    kViewAdvertisement = 5,
    kViewDesktopShortcut = 6,
    kViewContextMenu = 7,
};

}  // namespace tolvane
