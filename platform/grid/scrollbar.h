// XbpScrollBar: a horizontal (type 1) or vertical (type 2) scroll bar.
//
// Members: type, range ({nMin, nMax}), scrollBoxSize, autoTrack,
// useVisualStyle, isVisualStyle, and the callback `scroll`, fired with
// mp1 = {nPosition, nCommand} (sb:: commands). setData(n) moves the thumb
// and getData() reads it. Positions may span more than an int: the bar maps
// them onto its own scale and back.
#pragma once

#include "platform/gui/xbppart.h"

#include <functional>

class QScrollBar;

namespace gui {

namespace sb {
constexpr int Horizontal = 1;
constexpr int Vertical = 2;
// Scroll commands (entry 2 of the scroll callback's mp1).
constexpr int PrevPos = 1;   // arrow up or left
constexpr int NextPos = 2;   // arrow down or right
constexpr int PrevPage = 3;
constexpr int NextPage = 4;
constexpr int SliderTrack = 5;  // the thumb is being dragged
constexpr int EndTrack = 6;     // the thumb was released
constexpr int SliderPos = 7;    // moved to a position otherwise
// The event that carries a scroll to the bar's handleEvent.
constexpr int ScrollEvent = 1048720;
}  // namespace sb

class XbpScrollBar : public XbpPart {
public:
    XbpScrollBar();
    [[nodiscard]] const rt::ClassInfo& classInfo() const override;
    static const rt::ClassInfo& staticClass();

    rt::Value create(rt::Args a) override;
    rt::Value configure(rt::Args a) override;
    rt::Value handleEvent(int nEvent, const rt::Value& mp1, const rt::Value& mp2) override;

    [[nodiscard]] int kind() const;  // sb::Horizontal or sb::Vertical
    [[nodiscard]] QScrollBar* bar() const;

    // Range and thumb on the platform's scale.
    void setRange(long long lo, long long hi);
    [[nodiscard]] long long rangeMin() const noexcept { return lo_; }
    [[nodiscard]] long long rangeMax() const noexcept { return hi_; }
    void setData(long long pos);
    [[nodiscard]] long long data() const;
    void setScrollBoxSize(long long n);

    // The C++ owner (a browse) hears every scroll before the callback runs.
    std::function<void(int command, long long pos)> onScroll;

    rt::Value type, scrollBoxSize, autoTrack, useVisualStyle, isVisualStyle, cbScroll;

private:
    void applyToBar();
    [[nodiscard]] int toBar(long long pos) const;
    [[nodiscard]] long long fromBar(int v) const;

    long long lo_ = 0, hi_ = 0, pos_ = 0;
    bool applying_ = false;
};

}  // namespace gui
