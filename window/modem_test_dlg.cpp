#include "window/modem_test_dlg.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QPushButton>

#include "dialog/window_sequences.h"
#include "link/install_layout.h"
#include "link/program_path.h"
#include "link/program_places.h"
#include "link/serial_port.h"
#include "resources/main_dialog.h"
#include "resources/program_icon.h"
#include "window/dialog_font.h"
#include "window/log_menu.h"
#include "window/log_widget.h"
#include "window/modem_test_app.h"
#include "window/panel_bridge.h"
#include "window/settings_file.h"
#include "window/widget_controls.h"

using namespace karvex;
using namespace karvex::res;

CModemTestDlg::CModemTestDlg() : CModemTestDlg(Options{}) {}

CModemTestDlg::CModemTestDlg(const Options& options)
    : QDialog(nullptr), icon_(ProgramIcon()), options_(options) {
    Build();
    const ProgramPlaces places = ThisProgramsPlaces();
    settingsPath_ = ChooseSettingsPath(places);
    logView_ = static_cast<LogWidget*>(Control(kIdTrafficLog));
    logView_->Attach(log_);
    logMenu_ = new LogMenu(log_, *logView_, *this, [this] {
        const auto* com = static_cast<const QComboBox*>(Control(kIdComPort));
        return com->currentIndex() >= 0 ? com->currentText() : QString();
    });
    ui_ = std::make_unique<WidgetControls>(*this, controls_, units_);
    ui_->SetLogView(logView_);
    panel_ = std::make_unique<PanelBridge>(PanelBridge::Handlers{
        [this](bool enable) { controller_->EnableInputsFromWorker(enable); },
        [this](const QString& text) { OpenMessageBox(*this, text); },
    });
    LinkPort& port = options_.port != nullptr ? *options_.port : ThePort();
    session_ = std::make_unique<ModemSession>(log_, *panel_, port, options_.timing);
    controller_ = std::make_unique<ModemTestController>(
        *ui_, *session_, panel_->Queue(), QFile::encodeName(settingsPath_).toStdString(),
        ProgramVersion(), std::nullopt,
        options_.sequenceDirs ? *options_.sequenceDirs : places.sequenceDirs);
    OnInitDialog();
}

CModemTestDlg::~CModemTestDlg() {
    // Stop and join the monitor and the worker and close the port before anything they report to
    // (the log, its view, the panel) goes away. Joined threads need no grace period.
    session_->Disconnect();
    controller_.reset();
    session_.reset();
    logView_->Detach();  // the widget outlives the log it shows
    panel_.reset();
}

void CModemTestDlg::Build() {
    const DialogTemplate& tpl = MainDialog();
    setWindowTitle(QString::fromUtf8(tpl.title));
    // A top-level window of its own (no owner, so it has its own task-bar entry) with a system
    // menu, a minimise and a close button, and a fixed frame.
    setWindowFlags(Qt::Window | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                   Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                   Qt::WindowCloseButtonHint);
    setFont(DialogFont(QString::fromUtf8(tpl.fontFace), tpl.fontPoints));
    units_ = BaseUnitsFor(font());
    controls_ = BuildControls(*this, tpl, units_);
    setFixedSize(MapDialogSize(tpl.rect.w, tpl.rect.h, units_));
    setSizeGripEnabled(false);
    for (const auto& [id, widget] : controls_) {
        widget->installEventFilter(this);
    }
    connect(static_cast<QPushButton*>(Control(kIdConnect)), &QPushButton::clicked, this,
            [this] { OnConnect(); });
    connect(static_cast<QPushButton*>(Control(kIdExecute)), &QPushButton::clicked, this,
            [this] { OnExecute(); });
    connect(static_cast<QComboBox*>(Control(kIdTestItem)), &QComboBox::currentIndexChanged, this,
            [this] { OnSelchangeItem(); });
}

QWidget* CModemTestDlg::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

bool CModemTestDlg::OnInitDialog() {
    setWindowIcon(icon_);  // the icon carries the big and the small image
    controller_->OnInitDialog();
    return true;
}

void CModemTestDlg::OnSelchangeItem() {
    // The controller goes before the widgets when the window is taken apart.
    if (controller_) {
        controller_->OnSelchangeItem();
    }
}

void CModemTestDlg::OnConnect() {
    controller_->OnConnect();
}

void CModemTestDlg::OnExecute() {
    controller_->OnExecute();
}

void CModemTestDlg::OnClose() {
    if (createSettingsDir_ && !settingsPath_.isEmpty()) {
        // An installed copy's settings folder may not exist yet: made private, like the file.
        MakePrivateDirs(QFile::encodeName(QFileInfo(settingsPath_).path()).toStdString());
    }
    controller_->OnClose();
}

QString CModemTestDlg::ChooseSettingsPath(const ProgramPlaces& places) {
    if (options_.settingsPath) return *options_.settingsPath;
    // An installed copy keeps its settings in the user's folder, created at the first save.
    createSettingsDir_ = places.installed;
    return QFile::decodeName(QByteArray::fromStdString(places.settings));
}

void CModemTestDlg::EnableInputs(bool enable) {
    controller_->EnableInputs(enable);
}

bool CModemTestDlg::LinkOpen() const {
    return session_->LinkOpen();
}

OperatorPanel& CModemTestDlg::Panel() {
    return *panel_;
}
