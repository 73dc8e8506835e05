// SPDX-License-Identifier: GPL-3.0-or-later
#pragma once

#include <QString>

namespace tavrel::ui {

// The program's numbered strings: command tips under their command numbers, the pair
// dialog's control help texts under the control ids and the method descriptions
// (40015..40019). An id without a string gives an empty QString.
QString loadString(int id);

} // namespace tavrel::ui
