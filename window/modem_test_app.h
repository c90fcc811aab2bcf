// The application object: it runs the one main window and then lets the program end.
#pragma once

#include <QString>

class QWidget;

class CModemTestApp {
  public:
    // Runs the main window modally and destroys it. Returns false: the application then ends, as
    // closing the main window is the end of the program.
    bool InitInstance();
    QWidget* MainWindow() const { return mainWindow_; }

  private:
    QWidget* mainWindow_ = nullptr;
};

namespace karvex {

// The application title, the caption of every message box: the executable's file name without
// directory and extension.
QString ApplicationTitle();

// Opens a message box with `text`, the application title and one OK button, modal to `parent`.
// It does not wait: the caller's event loop runs the box, which deletes itself when closed.
void OpenMessageBox(QWidget& parent, const QString& text);

}  // namespace karvex
