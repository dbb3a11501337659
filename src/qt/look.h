#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <cstdint>

namespace klar::ui {

/// The face the windows were designed in. Where the system lacks it, a metrically close
/// substitute stands in (Liberation Sans on Linux), so that every caption fits its control.
inline constexpr const char* kDesignFamily = "MS Sans Serif";
inline constexpr double kDesignPointSize = 8.25;

/// The design face at its design size, bold or regular.
[[nodiscard]] QFont DesignFont(bool bold);

/// Where drives are folders (POSIX), the drive box and the top row widen to show a whole path,
/// at least one as long as kTypicalDrivePath; on Windows the drive text is a letter and the
/// window keeps its designed geometry.
#ifdef Q_OS_WIN
inline constexpr bool kDriveBoxFitsPaths = false;
#else
inline constexpr bool kDriveBoxFitsPaths = true;
#endif
inline constexpr const char* kTypicalDrivePath = "/media/user/BACKUP-DRIVE";

/// A Windows colour reference (0x00BBGGRR), as the window's description gives colours.
[[nodiscard]] constexpr QColor FromColourRef(std::uint32_t colour) {
    return QColor(static_cast<int>(colour & 0xFF), static_cast<int>((colour >> 8) & 0xFF),
                  static_cast<int>((colour >> 16) & 0xFF));
}

/// A flat-coloured button face; the style's own face would ignore the colour in some styles.
[[nodiscard]] QString ColouredButtonStyle(const QColor& face);

/// The progress bar with its dark blue bar. A style sheet on the chunk draws the exact colour
/// in every style, where a palette colour is only a hint that native styles may ignore.
[[nodiscard]] QString ProgressBarStyle(const QColor& bar);

/// Check boxes with the caption close to the box, as the design's metrics assume.
[[nodiscard]] QString CheckBoxStyle();

} // namespace klar::ui
