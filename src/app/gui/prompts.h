#pragma once

#include <QString>

class QMessageBox;
class QWidget;

// The window's message boxes, as the program shows them when no test stands in for them.
namespace pexumo::prompts {

/// A modal "Warning!" box with an exclamation icon, one OK button and \a detail below the text.
void warning(QWidget* parent, const QString& text, const QString& detail);
/// The same box without holding anything: the event loop and the run go on behind it, and it
/// deletes itself when closed.
QMessageBox* passingWarning(QWidget* parent, const QString& text, const QString& detail);
/// A question with Yes and No under the program's name; true for Yes.
bool ask(QWidget* parent, const QString& question, bool yesByDefault);

} // namespace pexumo::prompts
