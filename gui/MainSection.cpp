#include "gui/MainSection.h"

#include "gui/MakerLinks.h"

#include <QFileInfo>
#include <QGridLayout>
#include <QGroupBox>
#include <QLabel>
#include <QPixmap>
#include <QPushButton>
#include <QVBoxLayout>

namespace {

const char* const noFileText = "No firmware has been \nloaded.";
const char* const overwritesText = "This firmware will \noverwrite any stored parameters.";
const char* const keepsText = "This firmware will not \noverwrite any stored parameters.";

template <typename Widget>
Widget* Named(Widget* widget, const char* name)
{
    widget->setObjectName(name);
    return widget;
}

QLabel* PictureLabel(const char* name, const QString& picturePath)
{
    QLabel* label = Named(new QLabel(), name);
    const QPixmap picture(picturePath);
    if (!picture.isNull()) {
        label->setPixmap(picture);
        label->setAlignment(Qt::AlignHCenter);
    }
    return label;
}

QPushButton* IconButton(const char* name, const char* text, const char* picturePath)
{
    QPushButton* button = Named(new QPushButton(text), name);
    Section::SetIcon(button, picturePath);
    return button;
}

QLabel* LinkLabel(const char* name, const QString& address, const QString& text)
{
    QLabel* label = Named(new QLabel(QString("<a href=\"%1\">%2</a>").arg(address, text.toHtmlEscaped())), name);
    label->setTextFormat(Qt::RichText);
    label->setOpenExternalLinks(true);
    label->setTextInteractionFlags(Qt::TextSelectableByMouse | Qt::LinksAccessibleByMouse |
                                   Qt::LinksAccessibleByKeyboard);
    label->setAlignment(Qt::AlignHCenter);
    return label;
}

}  // namespace

MainSection::MainSection(QObject*) : Section(nullptr)
{
    topLayout = new QVBoxLayout();
    topLayout->setSizeConstraint(QLayout::SetMaximumSize);
    firmwareFileGroupBox = Named(new QGroupBox("Firmware File Information"), "firmwareFileGroupBox");
    firmwareFileGroupBox->setMinimumSize(690, 250);
    FillFileGroupBox();
    writeFirmwareButton = IconButton("writeFirmwareButton", "Write Firmware", "images/mcu.png");
    configureParametersButton =
        IconButton("configureParametersButton", "Configure Parameters", "images/parameters.png");
    CreateLinks();
    FillTopLayout();
}

void MainSection::FillFileGroupBox()
{
    groupBoxLayout = new QVBoxLayout(firmwareFileGroupBox);
    groupBoxLayout->setSizeConstraint(QLayout::SetMaximumSize);
    fileGridLayout = new QGridLayout();

    firmwareStatusLabel = Named(new QLabel(noFileText), "firmwareStatusLabel");
    firmwareStatusLabel->setAlignment(Qt::AlignHCenter);
    selectedFileCaption = Named(new QLabel("Selected File:"), "selectedFileCaption");
    selectedFileCaption->setFixedSize(selectedFileCaption->sizeHint());
    selectedFileLabel = Named(new QLabel(), "selectedFileLabel");
    selectedFileLabel->setWordWrap(true);

    keepIcon = PictureLabel("keepIcon", "images/checkmark_icon.png");
    overwriteIcon = PictureLabel("overwriteIcon", "images/exclamation_icon.png");
    noFileIcon = PictureLabel("noFileIcon", "images/search_icon.png");
    keepIcon->hide();
    overwriteIcon->hide();
    auto* spacerRow = new QLabel();

    openFirmwareFileButton = IconButton("openFirmwareFileButton", "Open Firmware File", "images/search_icon.png");
    groupBoxLayout->addWidget(openFirmwareFileButton);
    groupBoxLayout->addLayout(fileGridLayout);

    fileGridLayout->addWidget(selectedFileCaption, 0, 0);
    fileGridLayout->addWidget(selectedFileLabel, 0, 1);
    fileGridLayout->addWidget(spacerRow, 1, 0, 1, -1);
    fileGridLayout->addWidget(overwriteIcon, 2, 0, 1, -1);
    fileGridLayout->addWidget(keepIcon, 2, 0, 1, -1);
    fileGridLayout->addWidget(noFileIcon, 2, 0, 1, -1);
    fileGridLayout->addWidget(firmwareStatusLabel, 3, 0, 1, -1);
}

void MainSection::CreateLinks()
{
    parameterDocumentationLink =
        LinkLabel("parameterDocumentationLink", MakerLinks::parameterDocumentation, "Parameter Documentation");
    supportSiteLink = LinkLabel("supportSiteLink", MakerLinks::supportSite, "Visit Support Site");
    makerSiteLink = LinkLabel("makerSiteLink", MakerLinks::makerSite, QString("Visit ") + MakerLinks::makerSiteName);
}

void MainSection::FillTopLayout()
{
    topLayout->addWidget(firmwareFileGroupBox);
    topLayout->addSpacing(5);
    topLayout->addWidget(writeFirmwareButton);
    topLayout->addSpacing(5);
    topLayout->addWidget(configureParametersButton);
    topLayout->addStretch();
    topLayout->addWidget(parameterDocumentationLink);
    topLayout->addWidget(supportSiteLink);
    topLayout->addWidget(makerSiteLink);
    topLayout->addSpacing(15);
}

QVBoxLayout* MainSection::GetTopLayout() { return topLayout; }

void MainSection::EnableButtons()
{
    openFirmwareFileButton->setEnabled(true);
    writeFirmwareButton->setEnabled(true);
}

void MainSection::DisableButtons()
{
    openFirmwareFileButton->setEnabled(false);
    writeFirmwareButton->setEnabled(false);
}

QPushButton* MainSection::GetOpenFirmwareFileButton() { return openFirmwareFileButton; }

QPushButton* MainSection::GetWriteFirmwareButton() { return writeFirmwareButton; }

QPushButton* MainSection::GetConfigureParametersButton() { return configureParametersButton; }

void MainSection::SetFirmwareFileInformation(bool overwrites, const QString& path)
{
    noFileIcon->hide();
    if (!path.isEmpty()) {
        selectedFileLabel->setText(QFileInfo(path).fileName());
    }
    overwriteIcon->setVisible(overwrites);
    keepIcon->setVisible(!overwrites);
    firmwareStatusLabel->setText(overwrites ? overwritesText : keepsText);
}
