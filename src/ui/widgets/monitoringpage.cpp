// The first page of the settings window: which AI web apps and desktop AI tools Kelvo counts.

#include "sectionheaderview.h"
#include "settingsblocks.h"
#include "settingspages.h"
#include "ui/typography.h"
#include "wrappinglabel.h"

#include <QBoxLayout>
#include <QButtonGroup>
#include <QCheckBox>
#include <QLineEdit>
#include <QPushButton>
#include <QToolButton>

namespace kelvo {

using namespace SettingsBlocks;

namespace {

QLineEdit* field(const QString& placeholder, int width)
{
    auto* edit = new QLineEdit;
    edit->setFont(systemFont(13));
    edit->setPlaceholderText(placeholder);
    edit->setFixedWidth(width);
    return edit;
}

QToolButton* segment(const QString& title)
{
    auto* button = new QToolButton;
    button->setText(title);
    button->setFont(systemFont(13));
    button->setCheckable(true);
    button->setFocusPolicy(Qt::StrongFocus);
    button->setFixedWidth(75);
    return button;
}

QWidget* subheading(const QString& text)
{
    return new WrappingLabel(text, systemFont(13, QFont::Medium), ThemeRole::label, 1);
}

} // namespace

MonitoringPage::MonitoringPage(QWidget* parent)
    : SettingsPage(parent)
{
    // Built top to bottom, so that Tab walks the page in the order it reads.
    installSection({webCard(), desktopCard()}, this);
    updateRuleButtons();
}

QWidget* MonitoringPage::webCard()
{
    auto* header = new SectionHeaderView(QStringLiteral("globe"), QStringLiteral("网页监控"),
                                         QStringLiteral("管理网页 AI 识别与白名单域名。"));
    QBoxLayout* content = column();
    webMonitoringBox = checkBox(QStringLiteral("识别网页 AI 使用"));
    connect(webMonitoringBox, &QCheckBox::clicked, this, [this](bool on) {
        emit commandChosen(SettingsCommand::of(SettingsCommand::Kind::setWebMonitoring, on));
    });
    content->addWidget(webMonitoringBox);
    content->addWidget(explanation(QStringLiteral(
        "网页 AI 当前支持前台 Chrome / Chromium / Firefox（需安装 Kelvo 浏览器扩展），并通过活动"
        "页签 URL 识别 ChatGPT、Claude、Gemini、Perplexity、Poe。")));
    content->addLayout(
        inlineInfo(QStringLiteral("支持浏览器"), QStringLiteral("Chrome、Chromium、Firefox")));
    content->addLayout(inlineInfo(QStringLiteral("支持域名"), QStringLiteral("白名单识别")));
    content->addWidget(subheading(QStringLiteral("自定义网页规则")));

    m_webModel = new RuleTableModel({QStringLiteral("网页规则"), QStringLiteral("域名")}, this);
    webRules = new RuleTableView(m_webModel, {220, 260}, 180);
    connect(webRules, &RuleTableView::rowSelected, this, [this](int row) {
        m_webRow = row;
        updateRuleButtons();
    });
    connect(webRules, &RuleTableView::removeRequested, this,
            &MonitoringPage::removeSelectedWebRule);
    content->addWidget(webRules);

    removeWebRuleButton = pushButton(QStringLiteral("删除选中网页规则"));
    connect(removeWebRuleButton, &QPushButton::clicked, this,
            &MonitoringPage::removeSelectedWebRule);
    content->addWidget(removeWebRuleButton, 0, Qt::AlignLeft);

    auto* add = new QHBoxLayout;
    add->setSpacing(10);
    webNameField = field(QStringLiteral("显示名，例如 Claude 网页"), 180);
    webHostField = field(QStringLiteral("域名，例如 claude.ai"), 260);
    addWebRuleButton = pushButton(QStringLiteral("添加网页规则"));
    for (QLineEdit* edit : {webNameField, webHostField})
        connect(edit, &QLineEdit::returnPressed, this, &MonitoringPage::addWebRule);
    connect(addWebRuleButton, &QPushButton::clicked, this, &MonitoringPage::addWebRule);
    add->addWidget(webNameField);
    add->addWidget(webHostField);
    add->addWidget(addWebRuleButton);
    add->addStretch(1);
    content->addLayout(add);
    return detailCard(header, content);
}

QWidget* MonitoringPage::desktopCard()
{
    auto* header = new SectionHeaderView(QStringLiteral("macwindow"), QStringLiteral("桌面监控"),
                                         QStringLiteral("管理桌面端 AI 软件识别与规则。"));
    QBoxLayout* content = column();
    desktopMonitoringBox = checkBox(QStringLiteral("识别桌面 AI 软件"));
    connect(desktopMonitoringBox, &QCheckBox::clicked, this, [this](bool on) {
        emit commandChosen(SettingsCommand::of(SettingsCommand::Kind::setDesktopMonitoring, on));
    });
    content->addWidget(desktopMonitoringBox);
    content->addWidget(explanation(QStringLiteral(
        "关闭后，不再统计 ChatGPT、Claude、Cursor、Windsurf 等桌面客户端的前台使用。")));

    m_desktopModel =
        new RuleTableModel({QStringLiteral("桌面工具"), QStringLiteral("匹配方式")}, this);
    desktopRules = new RuleTableView(m_desktopModel, {220, 320}, 220);
    connect(desktopRules, &RuleTableView::rowSelected, this, [this](int row) {
        m_desktopRow = row;
        updateRuleButtons();
    });
    connect(desktopRules, &RuleTableView::removeRequested, this,
            &MonitoringPage::removeSelectedRule);
    content->addWidget(desktopRules);

    removeRuleButton = pushButton(QStringLiteral("删除选中规则"));
    connect(removeRuleButton, &QPushButton::clicked, this, &MonitoringPage::removeSelectedRule);
    content->addWidget(removeRuleButton, 0, Qt::AlignLeft);

    auto* add = new QHBoxLayout;
    add->setSpacing(10);
    // Narrower than the web row's fields, so that the whole row fits the card beside the
    // strategy and the button.
    nameField = field(QStringLiteral("显示名，例如 ChatGPT"), 150);
    byNameSegment = segment(QStringLiteral("应用名"));
    byIdSegment = segment(QStringLiteral("应用 ID"));
    m_strategy = new QButtonGroup(this);
    m_strategy->addButton(byNameSegment, 0);
    m_strategy->addButton(byIdSegment, 1);
    byNameSegment->setChecked(true);
    auto* segments = new QHBoxLayout;
    segments->setSpacing(0);
    segments->addWidget(byNameSegment);
    segments->addWidget(byIdSegment);
    matchValueField = field(QStringLiteral("应用名关键字或应用 ID"), 200);
    addRuleButton = pushButton(QStringLiteral("添加规则"));
    for (QLineEdit* edit : {nameField, matchValueField})
        connect(edit, &QLineEdit::returnPressed, this, &MonitoringPage::addRule);
    connect(addRuleButton, &QPushButton::clicked, this, &MonitoringPage::addRule);
    add->addWidget(nameField);
    add->addLayout(segments);
    add->addWidget(matchValueField);
    add->addWidget(addRuleButton);
    add->addStretch(1);
    content->addLayout(add);
    return detailCard(header, content);
}

void MonitoringPage::setModel(const SettingsModel& model)
{
    m_model = model;
    webMonitoringBox->setChecked(model.webMonitoring);
    desktopMonitoringBox->setChecked(model.desktopMonitoring);
    restoreSelections();
}

void MonitoringPage::restoreSelections()
{
    m_webRow = RuleSelection::restored(m_webRow, int(m_model.webRules.size()));
    webRules->reload(m_model.webRules, m_webRow);
    m_desktopRow = RuleSelection::restored(m_desktopRow, int(m_model.desktopRules.size()));
    desktopRules->reload(m_model.desktopRules, m_desktopRow);
    updateRuleButtons();
}

void MonitoringPage::updateRuleButtons()
{
    removeWebRuleButton->setEnabled(m_webRow >= 0 && m_webRow < m_model.webRules.size());
    removeRuleButton->setEnabled(m_desktopRow >= 0 && m_desktopRow < m_model.desktopRules.size());
}

void MonitoringPage::addWebRule()
{
    const auto command = SettingsCommand::addWebRule(webNameField->text(), webHostField->text());
    if (!command)
        return;
    emit commandChosen(*command);
    // Cleared even when the engine found no host in it: the person sees the list unchanged.
    webNameField->clear();
    webHostField->clear();
    m_webRow = RuleSelection::afterAdd(int(m_model.webRules.size()));
    restoreSelections();
    if (m_webRow >= 0)
        webRules->scrollTo(m_webModel->index(m_webRow, 0));
}

void MonitoringPage::removeSelectedWebRule()
{
    if (m_webRow < 0 || m_webRow >= m_model.webHosts.size())
        return;
    SettingsCommand command = SettingsCommand::of(SettingsCommand::Kind::removeWebRule);
    command.value = m_model.webHosts.at(m_webRow);
    const int removed = m_webRow;
    emit commandChosen(command);
    m_webRow = RuleSelection::afterRemoval(removed, int(m_model.webRules.size()));
    restoreSelections();
}

void MonitoringPage::addRule()
{
    const auto command = SettingsCommand::addDesktopRule(
        nameField->text(), byIdSegment->isChecked(), matchValueField->text());
    if (!command)
        return;
    emit commandChosen(*command);
    nameField->clear();
    matchValueField->clear();
    byNameSegment->setChecked(true);
    m_desktopRow = RuleSelection::afterAdd(int(m_model.desktopRules.size()));
    restoreSelections();
    if (m_desktopRow >= 0)
        desktopRules->scrollTo(m_desktopModel->index(m_desktopRow, 0));
}

void MonitoringPage::removeSelectedRule()
{
    if (m_desktopRow < 0 || m_desktopRow >= m_model.desktopIds.size())
        return;
    SettingsCommand command = SettingsCommand::of(SettingsCommand::Kind::removeDesktopRule);
    command.id = m_model.desktopIds.at(m_desktopRow);
    const int removed = m_desktopRow;
    emit commandChosen(command);
    m_desktopRow = RuleSelection::afterRemoval(removed, int(m_model.desktopRules.size()));
    restoreSelections();
}

} // namespace kelvo
