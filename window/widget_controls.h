// The Qt window's controls as the shared dialog logic sees them: each identifier's widget.
#pragma once

#include <QDialog>

#include "dialog/dialog_controls.h"
#include "window/dialog_builder.h"
#include "window/dialog_units.h"

namespace karvex {

class LogWidget;

class WidgetControls : public DialogControls {
  public:
    WidgetControls(QDialog& dialog, const ControlMap& controls, const DialogBaseUnits& units)
        : dialog_(dialog), controls_(controls), units_(units) {}
    void SetLogView(LogWidget* view) { logView_ = view; }

    void SetText(int id, const std::string& text) override;
    std::string Text(int id) const override;
    void Enable(int id, bool enable) override;
    void Show(int id, bool show) override;
    void Place(int id, const res::DialogRect& rect) override;
    bool IsChecked(int id) const override;
    void Check(int id) override;
    void AddEntry(int id, const std::string& text) override;
    int Selection(int id) const override;
    void Select(int id, int index) override;
    void Focus(int id) override;
    void ShowMessage(const std::string& text) override;
    void RefreshLog() override;
    void EndDialog(int result) override;

  private:
    QWidget* Control(int id) const;

    QDialog& dialog_;
    const ControlMap& controls_;
    const DialogBaseUnits& units_;
    LogWidget* logView_ = nullptr;
};

}  // namespace karvex
