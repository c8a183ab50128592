#include "ui/MainWindow.h"

#include <QAction>
#include <QCloseEvent>
#include <QMenu>
#include <QMenuBar>
#include <QMouseEvent>
#include <QPainter>
#include <QScreen>
#include <QWindow>

#include "ui/Artwork.h"
#include "ui/Fonts.h"
#include "ui/MailBodyWindow.h"
#include "ui/PictureBox.h"
#include "ui/TextBox.h"

namespace kervo {

namespace {

// The skin was drawn for black label text; a dark desktop theme must not turn it white.
const QColor kLabelText(0, 0, 0);
// The name boxes wear the classic title-bar text colour.
const QColor kNameBoxBackground(255, 255, 255);
const QColor kResetLabelText(192, 0, 0);

// Dial i and its name box: six columns 104 px apart, two rows 128 px apart.
QRect dialRect(int index) {
    const int col = index % 6;
    const int row = index / 6;
    return QRect(32 + 104 * col, 120 + 128 * row, FormModel::kDialPixels, FormModel::kDialPixels);
}

QRect nameBoxRect(int index) {
    const int col = index % 6;
    const int row = index / 6;
    return QRect(32 + 104 * col, 96 + 128 * row, 97, 17);
}

}  // namespace

MainWindow::MainWindow(FormModel& model, QWidget* parent)
    : QWidget(parent, Qt::Window | Qt::FramelessWindowHint), model_(model) {
    installFontSubstitutions();
    setWindowTitle(QStringLiteral("サーバ監視システム （改ざん　侵入検査） V1.3"));
    setWindowIcon(builtinWindowIcon());
    setFont(mainWindowFont());
    setFixedSize(kClientWidth, kClientHeight);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setMask(windowShape());

    buildControls();
    buildMenus();
    adoptBuiltinPictures();

    connect(&model_, &FormModel::backgroundChanged, this, qOverload<>(&QWidget::update));
    connect(&model_, &FormModel::labelChanged, this, &MainWindow::refreshLabel);
    connect(&model_, &FormModel::resetLabelVisibleChanged, Label10_, &QWidget::setVisible);
    connect(&model_, &FormModel::dialChanged, this, &MainWindow::refreshDial);
    connect(&model_, &FormModel::windowStateRequested, this, &MainWindow::applyWindowState);
    connect(&model_, &FormModel::mailBodyChanged, this, &MainWindow::syncMailBody);
    connect(&model_, &FormModel::mailBodyShowRequested, this, &MainWindow::showMailBodyWindow);

    for (FormLabel label : {FormLabel::Label1, FormLabel::Label2, FormLabel::Label3,
                            FormLabel::Label4, FormLabel::Label11}) {
        refreshLabel(label);
    }
    for (int i = 0; i < kDialCount; ++i) {
        refreshDial(i);
    }
    Label10_->setVisible(model_.resetLabelVisible());
    syncMailBody();
}

MainWindow::~MainWindow() {
    delete mailBody_.data();
}

QRegion MainWindow::windowShape() {
    constexpr int w = 678;
    constexpr int h = 519;
    constexpr int e = 48;  // corner ellipse width and height
    QRegion shape(e / 2, 0, w - e, h);
    shape += QRegion(0, e / 2, w, h - e);
    shape += QRegion(0, 0, e, e, QRegion::Ellipse);
    shape += QRegion(w - e, 0, e, e, QRegion::Ellipse);
    shape += QRegion(0, h - e, e, e, QRegion::Ellipse);
    shape += QRegion(w - e, h - e, e, e, QRegion::Ellipse);
    return shape;
}

QString MainWindow::noticeText() {
    return QStringLiteral("Ver 1.3");
}

void MainWindow::buildControls() {
    const QFont nameFont = designFont(gothicFace(), 9, 400);
    const QFont reportFont = designFont(proportionalGothicFace(), 9, 400);

    auto makeLabel = [this](const char* name, const QRect& box, const QFont& font) {
        auto* label = new TextBox(this);
        label->setObjectName(QString::fromLatin1(name));
        label->setGeometry(box);
        label->setFont(font);
        label->setTextColour(kLabelText);
        return label;
    };

    for (int i = 0; i < kDialCount; ++i) {
        auto* dial = new PictureBox(this);
        dial->setObjectName(QStringLiteral("Picture1_%1").arg(i));
        dial->setGeometry(dialRect(i));
        dial->setBackground(toQColor(FormModel::kDialBackground));
        dial->hide();
        connect(dial, &PictureBox::clicked, this, [this, i] { Q_EMIT dialClicked(i); });
        Picture1_[static_cast<size_t>(i)] = dial;

        auto* name = makeLabel("Label5", nameBoxRect(i), nameFont);
        name->setObjectName(QStringLiteral("Label5_%1").arg(i));
        name->setOpaque(kNameBoxBackground);
        Label5_[static_cast<size_t>(i)] = name;
    }

    Picture2_ = new PictureBox(this);
    Picture2_->setObjectName(QStringLiteral("Picture2"));
    Picture2_->setGeometry(24, 32, 32, 25);
    Picture2_->setBackground(toQColor(FormModel::kDialBackground));
    Picture2_->setImage(builtinEmblem());

    const QFont windowFont = mainWindowFont();
    Label7_ = makeLabel("Label7", QRect(56, 8, 329, 25), designFont(heavyFace(), 9.75, 400, true));
    Label7_->setText(QStringLiteral("Kervo"));
    Label4_ = makeLabel("Label4", QRect(72, 40, 169, 17), designFont(heavyFace(), 9.75, 400));
    Label10_ = makeLabel("Label10", QRect(520, 8, 97, 17), windowFont);
    Label10_->setText(QStringLiteral("Reset Alarm"));
    Label10_->setTextColour(kResetLabelText);
    Label10_->hide();
    Label8_ = makeLabel("Label8", QRect(624, 8, 17, 17), windowFont);
    Label8_->setText(QStringLiteral("  "));
    Label9_ = makeLabel("Label9", QRect(648, 8, 17, 17), windowFont);
    Label9_->setText(QStringLiteral("  "));
    Label1_ = makeLabel("Label1", QRect(48, 376, 545, 25), reportFont);
    Label3_ = makeLabel("Label3", QRect(48, 408, 577, 25), reportFont);
    Label2_ = makeLabel("Label2", QRect(48, 432, 593, 49), reportFont);
    Label6_ = makeLabel("Label6", QRect(216, 496, 257, 17), reportFont);
    Label6_->setText(QStringLiteral("円領域をクリックするとサーバにログインします"));
    Label11_ = makeLabel("Label11", QRect(568, 496, 97, 17), windowFont);

    connect(Label2_, &TextBox::clicked, this, &MainWindow::Label2_Click);
    connect(Label8_, &TextBox::clicked, this, &MainWindow::Label8_Click);
    connect(Label9_, &TextBox::clicked, this, &MainWindow::Label9_Click);
    connect(Label10_, &TextBox::clicked, this, &MainWindow::label10Clicked);
}

void MainWindow::buildMenus() {
    // The menu bar lies in the part of the window that the shape cuts away; it is kept for its
    // two commands, never shown.
    menuBar_ = new QMenuBar(this);
    menuBar_->setObjectName(QStringLiteral("menuBar"));
    menuBar_->setNativeMenuBar(false);
    QMenu* file = menuBar_->addMenu(QStringLiteral("ファイル"));
    file->setObjectName(QStringLiteral("file"));
    fend_ = file->addAction(QStringLiteral("終了"));
    fend_->setObjectName(QStringLiteral("fend"));
    QMenu* edit = menuBar_->addMenu(QStringLiteral("編集"));
    edit->setObjectName(QStringLiteral("edit"));
    alarm_reset_ = edit->addAction(QStringLiteral("アラームリセット"));
    alarm_reset_->setObjectName(QStringLiteral("alarm_reset"));
    menuBar_->hide();

    connect(fend_, &QAction::triggered, this, &MainWindow::fend_Click);
    connect(alarm_reset_, &QAction::triggered, this, &MainWindow::alarmResetChosen);
}

void MainWindow::adoptBuiltinPictures() {
    // Until the start-up loads the configured pictures the window shows its own. A model that
    // already holds pictures keeps them.
    if (model_.backgroundPicture().isNull()) {
        model_.setBackgroundPicture(builtinSkin());
    }
    const QImage dial = builtinDial();
    for (int i = 0; i < kDialCount; ++i) {
        if (model_.dial(i).picture.isNull()) {
            model_.setDialPicture(i, dial);
        }
    }
    if (model_.labelText(FormLabel::Label11).isEmpty()) {
        model_.setLabelText(FormLabel::Label11, noticeText());
    }
}

void MainWindow::paintEvent(QPaintEvent* /*event*/) {
    QPainter painter(this);
    painter.fillRect(rect(), toQColor(model_.backgroundColour()));
    const QImage& picture = model_.backgroundPicture();
    if (!picture.isNull()) {
        painter.drawImage(0, 0, picture);
    }
}

void MainWindow::mousePressEvent(QMouseEvent* event) {
    event->accept();
    Form_MouseDown(event->button(), event->globalPosition());
}

void MainWindow::Form_MouseDown(Qt::MouseButton button, QPointF globalPos) {
    DragWindow(button, globalPos);
}

void MainWindow::DragWindow(Qt::MouseButton button, QPointF globalPos) {
    if (button != Qt::LeftButton) {
        return;
    }
    if (startSystemMove()) {
        return;
    }
    manualDrag_ = true;
    dragOffset_ = globalPos - QPointF(pos());
}

bool MainWindow::startSystemMove() {
    QWindow* handle = windowHandle();
    return handle != nullptr && handle->startSystemMove();
}

void MainWindow::mouseMoveEvent(QMouseEvent* event) {
    event->accept();
    if (manualDrag_ && (event->buttons() & Qt::LeftButton)) {
        move((event->globalPosition() - dragOffset_).toPoint());
    }
}

void MainWindow::mouseReleaseEvent(QMouseEvent* event) {
    event->accept();
    if (event->button() == Qt::LeftButton) {
        manualDrag_ = false;
    }
}

void MainWindow::Label2_Click() {
    model_.showMailBody();
}

void MainWindow::Label8_Click() {
    model_.setWindowState(WindowState::Minimised);
}

void MainWindow::Label9_Click() {
    requestEnd();
}

void MainWindow::fend_Click() {
    requestEnd();
}

void MainWindow::requestEnd() {
    // The program ends on the first request; whatever closes the windows on the way out must
    // not ask again.
    if (ending_) {
        return;
    }
    ending_ = true;
    Q_EMIT endRequested();
}

void MainWindow::closeEvent(QCloseEvent* event) {
    // A close by the window system ends the program too, rather than leaving it running with
    // no main window.
    event->accept();
    requestEnd();
}

void MainWindow::refreshLabel(FormLabel label) {
    TextBox* box = nullptr;
    switch (label) {
        case FormLabel::Label1:
            box = Label1_;
            break;
        case FormLabel::Label2:
            box = Label2_;
            break;
        case FormLabel::Label3:
            box = Label3_;
            break;
        case FormLabel::Label4:
            box = Label4_;
            break;
        case FormLabel::Label11:
            box = Label11_;
            break;
    }
    if (box != nullptr) {
        box->setText(model_.labelText(label));
    }
}

void MainWindow::refreshDial(int index) {
    const DialModel& dial = model_.dial(index);
    const auto slot = static_cast<size_t>(index);
    Picture1_[slot]->setImage(model_.renderDial(index));
    Picture1_[slot]->setVisible(dial.visible);
    Label5_[slot]->setText(dial.caption);
}

WindowState MainWindow::currentState() const {
    if (isMinimized()) {
        return WindowState::Minimised;
    }
    return maximised_ ? WindowState::Maximised : WindowState::Normal;
}

void MainWindow::unminimise() {
    if (isMinimized()) {
        showNormal();
    }
}

void MainWindow::applyWindowState(WindowState state) {
    switch (state) {
        case WindowState::Maximised: {
            if (!maximised_) {
                normalPos_ = pos();
                maximised_ = true;
            }
            QScreen* where = screen();
            if (where != nullptr) {
                move(where->availableGeometry().topLeft());
            }
            unminimise();
            show();
            raise();
            activateWindow();
            // The report the operator opened to read stays above the window it came from.
            if (mailBody_ != nullptr && mailBody_->isVisible() && !mailBody_->isMinimized()) {
                mailBody_->raise();
                mailBody_->activateWindow();
            }
            break;
        }
        case WindowState::Normal:
            if (maximised_) {
                maximised_ = false;
                move(normalPos_);
            }
            unminimise();
            break;
        case WindowState::Minimised:
            showMinimized();
            break;
    }
}

void MainWindow::changeEvent(QEvent* event) {
    QWidget::changeEvent(event);
    if (event->type() == QEvent::WindowStateChange) {
        model_.noteWindowState(currentState());
    }
}

void MainWindow::syncMailBody() {
    if (model_.mailBodyPresence() == MailBodyPresence::Absent) {
        if (mailBody_ != nullptr) {
            MailBodyWindow* gone = mailBody_.data();
            mailBody_ = nullptr;
            gone->hide();
            gone->deleteLater();
        }
        return;
    }
    if (mailBody_ == nullptr) {
        mailBody_ = new MailBodyWindow();
        connect(mailBody_.data(), &MailBodyWindow::closed, this, &MainWindow::mailBodyClosed);
    }
    mailBody_->setText(model_.mailBodyText());
}

void MainWindow::showMailBodyWindow() {
    syncMailBody();
    if (mailBody_ == nullptr) {
        return;
    }
    if (mailBody_->isMinimized()) {
        mailBody_->showNormal();
    }
    mailBody_->show();
    mailBody_->raise();
    mailBody_->activateWindow();
}

void MainWindow::mailBodyClosed() {
    model_.closeMailBody();
}

}  // namespace kervo
