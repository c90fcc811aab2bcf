#include "window/modem_test_dlg.h"
#include "link/serial_port.h"

#include <QComboBox>
#include <QFile>
#include <QFileInfo>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRadioButton>

#include "resources/main_dialog.h"
#include "resources/program_icon.h"
#include "window/dialog_font.h"
#include "window/item_fields.h"
#include "window/log_view.h"
#include "window/modem_test_app.h"
#include "window/panel_bridge.h"
#include "window/settings_file.h"

using namespace karvex;
using namespace karvex::res;

CModemTestDlg::CModemTestDlg() : CModemTestDlg(Options{}) {}

CModemTestDlg::CModemTestDlg(const Options& options)
    : QDialog(nullptr), icon_(ProgramIcon()), options_(options), version_(ProgramVersion()) {
    Build();
    logView_ = std::make_unique<LogView>(log_, *Get<QPlainTextEdit>(kIdTrafficLog));
    panel_ = std::make_unique<PanelBridge>(PanelBridge::Handlers{
        [this](bool enable) { EnableInputsFromWorker(enable); },
        [this](const QString& text) { OpenMessageBox(*this, text); },
    });
    SerialPort& port = options_.port != nullptr ? *options_.port : ThePort();
    session_ = std::make_unique<ModemSession>(log_, *panel_, port, options_.timing);
    OnInitDialog();
}

CModemTestDlg::~CModemTestDlg() {
    // Stop and join the monitor and the worker and close the port before anything they report to
    // (the log, its view, the panel) goes away. Joined threads need no grace period.
    session_->Disconnect();
    session_.reset();
    logView_.reset();
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
    connect(Get<QPushButton>(kIdConnect), &QPushButton::clicked, this, [this] { OnConnect(); });
    connect(Get<QPushButton>(kIdExecute), &QPushButton::clicked, this, [this] { OnExecute(); });
    connect(Get<QComboBox>(kIdTestItem), &QComboBox::currentIndexChanged, this,
            [this] { OnSelchangeItem(); });
}

template <class W>
W* CModemTestDlg::Get(int id) const {
    return static_cast<W*>(Control(id));
}

QWidget* CModemTestDlg::Control(int id) const {
    const auto it = controls_.find(id);
    return it == controls_.end() ? nullptr : it->second;
}

bool CModemTestDlg::OnInitDialog() {
    setWindowIcon(icon_);  // the icon carries the big and the small image

    auto* com = Get<QComboBox>(kIdComPort);
    for (int n = 1; n <= 99; ++n) {
        com->addItem(QString::asprintf("COM%d", n));
    }
    com->setCurrentIndex(0);

    auto* items = Get<QComboBox>(kIdTestItem);
    for (const ItemFields& item : TestItemFields()) {
        items->addItem(QString::fromUtf8(item.caption));
    }
    items->setCurrentIndex(0);
    OnSelchangeItem();

    EnableInputs(false);
    com->setEnabled(true);
    Get<QRadioButton>(kIdTolva1)->setEnabled(true);
    Get<QRadioButton>(kIdTolva2)->setEnabled(true);

    Get<QLineEdit>(kIdSmsNumber)->setText(QStringLiteral("1"));
    if (version_) {
        Get<QLabel>(kIdVersion)->setText(FormatVersionLabel(*version_));
    }

    settingsPath_ = options_.settingsPath
                        ? *options_.settingsPath
                        : SettingsPathForExecutable(QFile::decodeName(ExecutablePath().c_str()));
    Settings loaded;
    if (!settingsPath_.isEmpty() && QFileInfo::exists(settingsPath_) &&
        LoadSettings(settingsPath_, loaded) >= 0) {
        ApplySettings(loaded);
    } else {
        ApplyDefaults();
    }
    // The first control in tab order starts with the focus, as the dialog framework does.
    Control(kIdTrafficLog)->setFocus();
    return true;
}

void CModemTestDlg::OnSelchangeItem() {
    for (int id : ItemDependentControls()) {
        Control(id)->hide();
    }
    const int index = Get<QComboBox>(kIdTestItem)->currentIndex();
    if (index < 0 || index >= static_cast<int>(TestItemFields().size())) {
        return;
    }
    const ItemFields& item = TestItemFields()[static_cast<size_t>(index)];
    if (item.itemLabel != nullptr) {
        Get<QLabel>(kIdItemLabel)->setText(QString::fromUtf8(item.itemLabel));
    }
    for (int id : item.shown) {
        Control(id)->show();
    }
}

void CModemTestDlg::ApplySettings(const Settings& s) {
    Get<QRadioButton>(s.tolva2 ? kIdTolva2 : kIdTolva1)->setChecked(true);
    Get<QComboBox>(kIdComPort)->setCurrentIndex(s.port >= 1 && s.port <= 99 ? s.port - 1 : -1);
    Get<QLineEdit>(kIdApn)->setText(s.apn);
    Get<QLineEdit>(kIdUser)->setText(s.user);
    Get<QLineEdit>(kIdPassword)->setText(s.password);
    Get<QLineEdit>(kIdPhone)->setText(s.phone);
}

void CModemTestDlg::ApplyDefaults() {
    Settings defaults;
    defaults.tolva2 = false;
    defaults.port = 1;
    ApplySettings(defaults);
}

Settings CModemTestDlg::CollectSettings() const {
    Settings s;
    s.tolva2 = Get<QRadioButton>(kIdTolva2)->isChecked();
    s.port = Get<QComboBox>(kIdComPort)->currentIndex() + 1;
    s.apn = Get<QLineEdit>(kIdApn)->text();
    s.user = Get<QLineEdit>(kIdUser)->text();
    s.password = Get<QLineEdit>(kIdPassword)->text();
    s.phone = Get<QLineEdit>(kIdPhone)->text();
    return s;
}
