// Elements and functions for panels inside a dialog and for long work:
// static areas, elements that run a block when the dialog is created,
// refreshing a button group, and a progress window with a bar and Cancel.
#pragma once

#include "platform/dialog/elements.h"

#include <functional>
#include <string_view>

namespace dlg {

// A static's width or height (slots 9, 10) of this value fills its parent.
constexpr int kFillParent = -10004;

// RK_XbpStatic (type 13): a plain area that other elements take as their
// parent through slot 30; { NIL, colour } in slot 22 paints its background,
// and slot 35, a block, is evaluated with it once it exists.
class StaticPart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
};

// Type 81: no window; its block (slot 18) is evaluated once, when the
// element is created, with the dialog (RK_ReadGUI creates in list order,
// so elements before it exist).
class OnCreatePart final : public ElementPart {
public:
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    rt::Value create(rt::Args a) override;
};

// Evaluates again the enable blocks (slot 8) and when conditions of the
// buttons of group `groupId` in the read that `element` belongs to.
void refreshGroup(const rt::Value& element, std::string_view groupId);

// A small window, shown without waiting, with a progress bar 0..100 and a
// "Cancel" button that evaluates onCancel. Destroyed with its object.
class ProgressWindow final : public rt::Object {
public:
    ProgressWindow(std::string_view title, rt::Value onCancel);
    ~ProgressWindow() override;
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();
    void setProgress(int percent);
    [[nodiscard]] int progress() const;
    // Clicks the Cancel button as a user would (for tests).
    void clickCancel();
    void destroy();

private:
    struct Widgets;
    std::unique_ptr<Widgets> w_;
};

// RK_GetProgress(oProgress, nCurrent, nTotal): the bar shows nCurrent of nTotal.
void getProgress(const rt::Value& progress, double current, double total);
// RK_CompleteEvents(): handles the window events waiting, so a Cancel click
// lands; at most every 10 ms, however often it is called.
void completeEvents();
// RK_PointerWait(), RK_PointerArrow(): the busy pointer over the application, and back.
void pointerWait();
void pointerArrow();

// Registers RK_GetProgress, RK_CompleteEvents, RK_PointerWait, RK_PointerArrow
// and RK_ProgressWindow(cTitle, bCancel).
void registerPanelFunctions();

}  // namespace dlg
