#include "platform/gui/color.h"

#include "platform/runtime/array.h"

#include <QGuiApplication>
#include <QPalette>

namespace gui {

namespace {
// Indexed by named colour + 2 (White is -2).
constexpr QRgb kNamed[] = {
    qRgb(255, 255, 255),  // White
    0,                    // Default: never looked up
    qRgb(255, 255, 255),  // Background
    qRgb(0, 0, 255),      // Blue
    qRgb(255, 0, 0),      // Red
    qRgb(255, 0, 255),    // Pink
    qRgb(0, 255, 0),      // Green
    qRgb(0, 255, 255),    // Cyan
    qRgb(255, 255, 0),    // Yellow
    qRgb(0, 0, 0),        // Neutral
    qRgb(128, 128, 128),  // DarkGray
    qRgb(0, 0, 128),      // DarkBlue
    qRgb(128, 0, 0),      // DarkRed
    qRgb(128, 0, 128),    // DarkPink
    qRgb(0, 128, 0),      // DarkGreen
    qRgb(0, 128, 128),    // DarkCyan
    qRgb(128, 128, 0),    // Brown
    qRgb(204, 204, 204),  // PaleGray
};

QColor systemColor(long long n, const QColor& fallback)
{
    const QPalette pal = QGuiApplication::palette();
    switch (n) {
    case clr::SysWindow: return pal.color(QPalette::Window);
    case clr::SysWindowText: return pal.color(QPalette::WindowText);
    case clr::SysBase: return pal.color(QPalette::Base);
    case clr::SysText: return pal.color(QPalette::Text);
    case clr::SysButton: return pal.color(QPalette::Button);
    case clr::SysButtonText: return pal.color(QPalette::ButtonText);
    case clr::SysToolTipBase: return pal.color(QPalette::ToolTipBase);
    case clr::SysToolTipText: return pal.color(QPalette::ToolTipText);
    case clr::SysDisabledText: return pal.color(QPalette::Disabled, QPalette::Text);
    case clr::SysAlternateBase: return pal.color(QPalette::AlternateBase);
    case clr::SysHighlight: return pal.color(QPalette::Highlight);
    case clr::SysHighlightText: return pal.color(QPalette::HighlightedText);
    case clr::SysMid: return pal.color(QPalette::Mid);
    case clr::SysLight: return pal.color(QPalette::Light);
    case clr::SysDark: return pal.color(QPalette::Dark);
    default: return fallback;  // a system number we have no role for
    }
}
}  // namespace

QColor toQColor(long long n, const QColor& fallback)
{
    if (isRgbColor(n))
        return QColor::fromRgb(static_cast<QRgb>(n - kRgbBase));
    if (isNamedColor(n) && n != clr::Default)
        return QColor::fromRgb(kNamed[n + 2]);
    if (isSystemColor(n))
        return systemColor(n, fallback);
    return fallback;
}

long long colorNumber(const rt::Value& v)
{
    if (v.isNum())
        return v.asInt();
    if (v.isArray()) {
        const auto& a = v.asArray().items;
        if (a.size() >= 3 && a[0].isNum() && a[1].isNum() && a[2].isNum())
            return makeRgbColor(int(std::clamp<std::int64_t>(a[0].asInt(), -1, 256)),
                                int(std::clamp<std::int64_t>(a[1].asInt(), -1, 256)),
                                int(std::clamp<std::int64_t>(a[2].asInt(), -1, 256)));
    }
    return clr::Default;
}

std::optional<QColor> colorOf(const rt::Value& v)
{
    const long long n = colorNumber(v);
    if (!isColorNumber(n))
        return std::nullopt;
    return toQColor(n);
}

int rgbNumber(const QColor& c) noexcept { return makeRgbColor(c.red(), c.green(), c.blue()); }

}  // namespace gui
