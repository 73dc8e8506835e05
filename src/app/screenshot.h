// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

namespace tavrel::ui {

class MainWindow;

// For documentation pictures. When TAVREL_SCREENSHOT names a PNG file, the window saves a
// picture of itself once it has been painted and the program quits. TAVREL_SCREENSHOT_JOB may
// name a project file to open first, and TAVREL_SCREENSHOT_RUN=1 runs it before the picture
// (=preview previews it), which is taken TAVREL_SCREENSHOT_AFTER_MS (300) after the run's end;
// message boxes are answered with their first button and not shown. TAVREL_SCREENSHOT_DIALOG
// may name a PNG file for the pair options dialog on the shown pair, and TAVREL_SCREENSHOT_TIP
// one for that dialog with a help tip over it. TAVREL_SCREENSHOT_SCREEN=PREFIX adds pictures
// of the whole screen, window frames and titles included: PREFIX-running.png while the run
// goes, PREFIX-about.png with the About box, PREFIX-dialog.png with the pair options dialog
// opened by Edit Pair, PREFIX-tip.png with a help tip over it and PREFIX-tip-esc.png after an
// Esc, PREFIX-reports.png with View Report's list and PREFIX-browser.png with the folder
// browser for an empty path box open; TAVREL_SCREENSHOT_SCHEDULE one for the Schedule dialog
// of the opened job. Does nothing otherwise.
void scheduleScreenshotIfAsked(MainWindow& window);

} // namespace tavrel::ui
