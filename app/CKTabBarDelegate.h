#pragma once
// What the tab bar (CKTabBarView) asks and tells its delegate, the owner of the boards the
// tabs stand for. Indexes are board indexes: a tab standing for a folded board reports
// that board's index, not its own position. Every call is optional but the two the bar
// needs an answer to (tabBarCanAddTab, tabBarShouldShowCloseButtonAtIndex).
// Main thread.

#include "app/CKSoundPasteboardItem.h"

#include <QString>
#include <QtGlobal>

class CKTabBarView;

class CKTabBarDelegate {
public:
    virtual ~CKTabBarDelegate() = default;

    // The selected tab changed (a click, the overflow menu, a sound held over a tab).
    virtual void tabBarSelectionDidChange(CKTabBarView* tabBar) { (void)tabBar; }
    // Never sent by the bar.
    virtual void tabBarOrderDidChange(CKTabBarView* tabBar) { (void)tabBar; }
    // A tab was dragged from one place to another.
    virtual void tabBarDidMoveTabAtIndex(CKTabBarView* tabBar, qsizetype fromIndex, qsizetype toIndex)
    {
        (void)tabBar;
        (void)fromIndex;
        (void)toIndex;
    }
    // The rename field opened on a tab.
    virtual void tabBarDidBeginEditingNameAtIndex(CKTabBarView* tabBar, qsizetype index)
    {
        (void)tabBar;
        (void)index;
    }
    // The rename field closed: name is the tab's name now (the old one when the edit was
    // cancelled or left empty).
    virtual void tabBarDidEndEditingName(CKTabBarView* tabBar, const QString& name, qsizetype atIndex)
    {
        (void)tabBar;
        (void)name;
        (void)atIndex;
    }
    virtual void tabBarDidClickNewButton(CKTabBarView* tabBar) { (void)tabBar; }
    // Asked each time the add button is refreshed.
    virtual bool tabBarCanAddTab(CKTabBarView* tabBar) = 0;
    // Asked for each tab at every layout.
    virtual bool tabBarShouldShowCloseButtonAtIndex(CKTabBarView* tabBar, qsizetype index) = 0;
    virtual void tabBarDidClickCloseButtonAtIndex(CKTabBarView* tabBar, qsizetype index)
    {
        (void)tabBar;
        (void)index;
    }
    // A sound was dropped on the tab of board index: copied (action Qt::CopyAction, the
    // Alt key held) or moved. Answers whether it went.
    virtual bool tabBarDidReceiveDroppedSound(CKTabBarView* tabBar, const CKSoundPasteboardItem& sound,
                                              qsizetype atIndex, Qt::DropAction action)
    {
        (void)tabBar;
        (void)sound;
        (void)atIndex;
        (void)action;
        return false;
    }
};
