// The arena window built as the game lays it out (see ui/arena_layout.h).

#include "ui/arena_layout.h"

#include <QComboBox>
#include <QFont>
#include <QFontDatabase>
#include <QGroupBox>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QStringList>
#include <QStyle>
#include <QStyleOptionButton>
#include <algorithm>
#include <stdexcept>
#include <utility>
#include <vector>

#include "ui/picture_box.h"
#include "ui/shown_words.h"

namespace {

// The window's layout is drawn up in twips; fifteen make one logical pixel, and
// Qt scales logical pixels on high-density screens.
constexpr int twips(int value) {
    return value / 15;
}

QRect twipsRect(int left, int top, int width, int height) {
    return QRect(twips(left), twips(top), twips(width), twips(height));
}

// The game's dialog face where the system has it, else the closest sans-serif
// faces of a Linux desktop. Only the first of them the system has is asked
// for: for a face it lacks, Qt has the system rank substitutes before it tries
// the next face of the list, a search that costs the arena's start-up about a
// millisecond and ends on the same face.
const QStringList& arenaFamilies() {
    static const QStringList families = [] {
        const QStringList faces{QStringLiteral("MS Sans Serif"), QStringLiteral("Liberation Sans"),
                                QStringLiteral("DejaVu Sans")};
        for (const QString& face : faces)
            if (QFontDatabase::hasFamily(face)) return QStringList{face};
        return faces;
    }();
    return families;
}

// The arena's font at a size and weight.
QFont arenaFont(double points, bool bold) {
    QFont font;
    font.setFamilies(arenaFamilies());
    font.setStyleHint(QFont::SansSerif);
    font.setPointSizeF(points);
    font.setBold(bold);
    font.setItalic(false);
    font.setUnderline(false);
    font.setStrikeOut(false);
    return font;
}

const QColor kStatText(192, 0, 0);
const QColor kLabelText(0, 0, 192);

// One row of a monster panel: its box, its label and their places.
struct StatRow {
    std::string_view field;  // the record field the box shows
    const char* boxName;
    int top;
    int maxLength;  // 0: the box takes any length
    std::array<int, 2> tabIndex;
    const char* labelName;
    const char* caption;
    std::array<int, 2> labelLeft;
};

// Top to bottom as the panels show them; kPanelFields gives the order in
// which a choice writes them.
constexpr StatRow kStatRows[] = {
    {"name", "txtName", 2640, 10, {1, 50}, "Label1", "Name", {240, 9360}},
    {"level", "txtLevel", 3000, 0, {5, 48}, "Label7", "Level", {240, 9360}},
    {"hp", "txtHP", 3360, 0, {2, 49}, "Label2", "HP", {240, 9360}},
    {"agility", "txtAgi", 3720, 0, {3, 52}, "Label8", "Agility", {240, 9360}},
    {"strength", "txtStr", 4080, 0, {4, 51}, "Label9", "Stength", {240, 9360}},
    {"defense", "txtDef", 4440, 0, {6, 41}, "Label22", "Defense", {120, 9240}},
    {"offMin", "txtOffMin", 4800, 0, {7, 40}, "Label23", "Off Min", {240, 9360}},
    {"offMax", "txtOffMax", 5160, 0, {15, 39}, "Label24", "Off Max", {120, 9240}},
    {"mpower", "txtMpower", 5520, 0, {8, 38}, "Label25", "Mpower", {120, 9240}},
    {"special1", "txtSpecial1", 5880, 12, {9, 47}, "Label12", "Special1", {120, 9240}},
    {"sp1Min", "txtSP1min", 6240, 0, {10, 45}, "Label18", "SP1 Min", {120, 9240}},
    {"sp1Max", "txtSP1max", 6600, 0, {11, 44}, "Label19", "SP1 Max", {120, 9240}},
    {"special2", "txtSpecial2", 6960, 12, {12, 46}, "Label14", "Special2", {120, 9240}},
    {"sp2Min", "txtSp2min", 7320, 0, {13, 43}, "Label20", "Sp2 Min", {120, 9240}},
    {"sp2Max", "txtSP2max", 7680, 0, {14, 42}, "Label21", "SP2 Max", {120, 9240}},
};
constexpr std::array<int, 2> kStatBoxLeft = {960, 8160};

// Where a record field's box sits among the window's rows of boxes.
constexpr std::size_t panelPosition(std::string_view field) {
    for (std::size_t i = 0; i < karnwick::kPanelFields.size(); ++i)
        if (karnwick::kPanelFields[i] == field) return i;
    throw std::logic_error("not a field of the panel");
}

// Every field the panel shows has exactly one row.
static_assert([] {
    std::array<int, karnwick::kPanelFields.size()> rows{};
    for (const StatRow& row : kStatRows) ++rows[panelPosition(row.field)];
    for (const int count : rows)
        if (count != 1) return false;
    return true;
}());

// The one label that keeps a fixed size instead of fitting its caption.
constexpr auto kFixedSizeLabel = "Label25";

// The object name of a side's widget: "txtHP" and side 1 make "txtHP1".
QString objectName(const char* name, int side) {
    return QString::fromLatin1(name) + QString::number(side);
}

QLabel* makeLabel(QWidget* parent, const QString& name, const QString& caption, int left, int top) {
    auto* label = new QLabel(caption, parent);
    label->setObjectName(name);
    label->setFocusPolicy(Qt::NoFocus);
    label->setTextFormat(Qt::PlainText);
    label->move(twips(left), twips(top));
    return label;
}

// A caption wider than its button, as the substitute faces make "Preview
// 25-49", is narrowed to fit; its size and weight stay as given.
void fitCaption(QPushButton* button) {
    QStyleOptionButton option;
    option.initFrom(button);
    option.text = button->text();
    const int room =
        button->style()->subElementRect(QStyle::SE_PushButtonContents, &option, button).width() - 2;
    QFont font = button->font();
    const int needed = QFontMetrics(font).horizontalAdvance(QString(button->text()).remove('&'));
    if (needed <= room || needed <= 0) return;
    font.setStretch(std::max(50, 100 * room / needed));
    button->setFont(font);
}

QPushButton* makeButton(QWidget* parent, const char* name, const QString& caption, QRect place,
                        const QFont& font) {
    auto* button = new QPushButton(caption, parent);
    button->setObjectName(QString::fromLatin1(name));
    button->setGeometry(place);
    button->setFont(font);
    button->setAutoDefault(false);
    button->setDefault(false);
    fitCaption(button);
    return button;
}

// The lines framing the centre column: one pixel in the window-text colour.
void makeLine(QWidget* parent, const char* name, QRect place) {
    auto* line = new QWidget(parent);
    line->setObjectName(QString::fromLatin1(name));
    line->setGeometry(place);
    line->setBackgroundRole(QPalette::WindowText);
    line->setAutoFillBackground(true);
}

// Builds the widgets into the window, the panels first: later widgets lie
// above earlier ones where they meet.
class ArenaBuilder {
  public:
    explicit ArenaBuilder(QWidget& window) : m_window(window) {}
    ArenaLayout build();

  private:
    void createPanels();
    void createMonsterChoice(int side);
    // Row `rowIndex` of the panel, top to bottom.
    void createStatRow(std::size_t rowIndex, int side);
    void createCentre();
    void createArenaLog();
    void createButtons();
    void orderTabStops();

    QWidget& m_window;
    ArenaLayout m_layout;
};

}  // namespace

ArenaLayout buildArenaLayout(QWidget& window) {
    return ArenaBuilder(window).build();
}

QLineEdit* ArenaLayout::statBox(std::string_view field, int side) const {
    return statBoxes[panelPosition(field)][side];
}

namespace {

ArenaLayout ArenaBuilder::build() {
    m_window.setObjectName(QStringLiteral("frm1"));
    m_window.setWindowTitle(QString::fromLatin1(kArenaCaption));
    m_window.setFont(arenaFont(8, false));
    m_window.resize(twips(10260), twips(8145));
    createPanels();
    createCentre();
    orderTabStops();
    return m_layout;
}

void ArenaBuilder::createPanels() {
    QLabel* const headings[] = {
        makeLabel(&m_window, QStringLiteral("Label40"), karnwick::sideText(0), 240, 120),
        makeLabel(&m_window, QStringLiteral("Label3"), karnwick::sideText(1), 8160, 120)};
    for (QLabel* head : headings) {
        head->setFont(arenaFont(9.75, true));
        head->adjustSize();
    }
    for (int side = 0; side < 2; ++side) {
        createMonsterChoice(side);
        for (std::size_t row = 0; row < std::size(kStatRows); ++row) createStatRow(row, side);
    }
}

void ArenaBuilder::createMonsterChoice(int side) {
    constexpr std::array<int, 2> picLeft = {120, 8160};
    constexpr std::array<int, 2> listLeft = {240, 8280};
    auto* pic = new PictureBox(QSize(96, 96), QSizeF(100, 100), &m_window);
    pic->setObjectName(objectName("pic1", side));
    pic->setGeometry(twipsRect(picLeft[side], 480, 1500, 1500));
    m_layout.spriteBoxes[side] = pic;

    auto* list = new QComboBox(&m_window);
    list->setObjectName(objectName("cboMonsterList", side));
    list->setEditable(true);
    // The text field is free text for the user: it neither completes,
    // adds items nor chooses a monster.
    list->setInsertPolicy(QComboBox::NoInsert);
    list->setCompleter(nullptr);
    list->setGeometry(twipsRect(listLeft[side], 2160, 1335, 315));
    QPalette listColours = list->palette();
    listColours.setColor(QPalette::Base, m_window.palette().color(QPalette::Button));
    list->setPalette(listColours);
    list->setEditText(QString::fromLatin1(kPickMonster));
    // Qt's editable combo box picks the item matching the typed text on
    // Enter and when the focus leaves the field; typing is no choice here.
    QObject::disconnect(list->lineEdit(), &QLineEdit::returnPressed, list, nullptr);
    QObject::disconnect(list->lineEdit(), &QLineEdit::editingFinished, list, nullptr);
    m_layout.monsterLists[side] = list;
}

void ArenaBuilder::createStatRow(std::size_t rowIndex, int side) {
    const StatRow& row = kStatRows[rowIndex];
    const std::size_t boxIndex = panelPosition(row.field);
    auto* box = new QLineEdit(&m_window);
    box->setObjectName(objectName(row.boxName, side));
    box->setGeometry(twipsRect(kStatBoxLeft[side], row.top, 975, 285));
    box->setReadOnly(true);
    if (row.maxLength > 0) box->setMaxLength(row.maxLength);
    QPalette boxColours = box->palette();
    boxColours.setColor(QPalette::Base, m_window.palette().color(QPalette::Button));
    boxColours.setColor(QPalette::Text, kStatText);
    box->setPalette(boxColours);
    m_layout.statBoxes[boxIndex][side] = box;

    QLabel* label = makeLabel(&m_window, objectName(row.labelName, side),
                              QString::fromLatin1(row.caption), row.labelLeft[side], row.top);
    QPalette labelColours = label->palette();
    labelColours.setColor(QPalette::WindowText, kLabelText);
    label->setPalette(labelColours);
    if (qstrcmp(row.labelName, kFixedSizeLabel) == 0) {
        label->resize(twips(735), twips(255));
    } else {
        label->adjustSize();
    }
}

void ArenaBuilder::createCentre() {
    createArenaLog();
    constexpr std::array<int, 2> currentHpLeft = {2520, 6120};
    for (int side = 0; side < 2; ++side) {
        auto* box = new QLineEdit(&m_window);
        box->setObjectName(objectName("txtCurrentHP", side));
        box->setGeometry(twipsRect(currentHpLeft[side], 5640, 1455, 645));
        box->setFont(arenaFont(24, false));
        m_layout.currentHpBoxes[side] = box;
    }
    createButtons();

    // The rectangle around the centre column, from (2280, 360) to (7800, 7920)
    // twips, each line covering both of its end points.
    const int left = twips(2280), top = twips(360), right = twips(7800), bottom = twips(7920);
    makeLine(&m_window, "Line4", QRect(left, top, right - left + 1, 1));
    makeLine(&m_window, "Line1", QRect(left, bottom, right - left + 1, 1));
    makeLine(&m_window, "Line2", QRect(left, top, 1, bottom - top + 1));
    makeLine(&m_window, "Line3", QRect(right, top, 1, bottom - top + 1));
}

void ArenaBuilder::createArenaLog() {
    auto* logFrame = new QGroupBox(QStringLiteral("Arena"), &m_window);
    logFrame->setObjectName(QStringLiteral("arena"));
    logFrame->setGeometry(twipsRect(2400, 720, 5295, 4695));
    logFrame->setFont(arenaFont(12, true));
    // The frame's line runs through the middle of its caption.
    const int captionHeight = QFontMetrics(logFrame->font()).height();
    logFrame->setStyleSheet(QStringLiteral("QGroupBox#arena { margin-top: %1px;"
                                           " border: 1px solid palette(mid); border-radius: 2px; }"
                                           "QGroupBox#arena::title { subcontrol-origin: margin;"
                                           " subcontrol-position: top left; left: 8px;"
                                           " padding: 0 2px; }")
                                .arg(captionHeight / 2));

    m_layout.arenaLog = new QPlainTextEdit(logFrame);
    m_layout.arenaLog->setObjectName(QStringLiteral("txtArena"));
    m_layout.arenaLog->setGeometry(twipsRect(240, 360, 4575, 4095));
    m_layout.arenaLog->setFont(m_window.font());
    m_layout.arenaLog->setLineWrapMode(QPlainTextEdit::NoWrap);
    m_layout.arenaLog->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_layout.arenaLog->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
    m_layout.arenaLog->setReadOnly(true);
    m_layout.arenaLog->setTextInteractionFlags(Qt::TextSelectableByMouse |
                                               Qt::TextSelectableByKeyboard);
    m_layout.arenaLog->setFocusPolicy(Qt::StrongFocus);
}

void ArenaBuilder::createButtons() {
    m_layout.fightButton = makeButton(&m_window, "cmdFIGHT", QStringLiteral("FIGHT"),
                                      twipsRect(4440, 5640, 1215, 735), arenaFont(13.5, true));
    m_layout.exitButton = makeButton(&m_window, "Command1", QStringLiteral("&Exit"),
                                     twipsRect(4440, 6600, 1215, 495), arenaFont(13.5, false));
    m_layout.previewButtons[0] =
        makeButton(&m_window, "cmdPreview1", QStringLiteral("Preview 0-24"),
                   twipsRect(2640, 7320, 1215, 495), arenaFont(9.75, true));
    m_layout.previewButtons[1] =
        makeButton(&m_window, "cmdPreview2", QStringLiteral("Preview 25-49"),
                   twipsRect(6240, 7320, 1215, 495), arenaFont(9.75, true));
    m_layout.previewButtons[2] =
        makeButton(&m_window, "cmdPreview3", QStringLiteral("Bosses 50-56"),
                   twipsRect(4440, 7320, 1215, 495), arenaFont(9.75, true));
}

// Tab stops follow the window's tab indexes; labels, the frame and the sprite
// boxes are no stops.
void ArenaBuilder::orderTabStops() {
    std::vector<std::pair<int, QWidget*>> stops;
    for (const StatRow& row : kStatRows) {
        const std::size_t rowIndex = panelPosition(row.field);
        for (int side = 0; side < 2; ++side) {
            stops.emplace_back(row.tabIndex[side], m_layout.statBoxes[rowIndex][side]);
        }
    }
    stops.emplace_back(16, m_layout.monsterLists[0]);
    stops.emplace_back(53, m_layout.monsterLists[1]);
    stops.emplace_back(24, m_layout.exitButton);
    stops.emplace_back(33, m_layout.previewButtons[0]);
    stops.emplace_back(34, m_layout.previewButtons[1]);
    stops.emplace_back(35, m_layout.previewButtons[2]);
    stops.emplace_back(71, m_layout.arenaLog);
    stops.emplace_back(72, m_layout.fightButton);
    stops.emplace_back(73, m_layout.currentHpBoxes[0]);
    stops.emplace_back(74, m_layout.currentHpBoxes[1]);
    std::sort(stops.begin(), stops.end(),
              [](const auto& a, const auto& b) { return a.first < b.first; });
    for (std::size_t i = 1; i < stops.size(); ++i) {
        QWidget::setTabOrder(stops[i - 1].second, stops[i].second);
    }
    stops.front().second->setFocus();
}

}  // namespace
