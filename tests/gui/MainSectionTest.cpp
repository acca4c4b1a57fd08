#include "gui/MainSection.h"

#include <gtest/gtest.h>

#include <QLabel>
#include <QPushButton>
#include <QWidget>

#include <memory>

namespace {

class MainSectionTest : public ::testing::Test {
protected:
    MainSectionTest() { host->setLayout(section.GetTopLayout()); }

    QLabel* Label(const char* name) { return host->findChild<QLabel*>(name); }

    // The picture shown in the status cell: the one label of the three that is not hidden.
    QString ShownPicture()
    {
        QString shown;
        for (const char* name : {"noFileIcon", "keepIcon", "overwriteIcon"}) {
            if (!Label(name)->isHidden()) {
                shown += name;
            }
        }
        return shown;
    }

    MainSection section;
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
};

TEST_F(MainSectionTest, BeforeAnyFileThePageShowsTheSearchPicture)
{
    EXPECT_EQ(ShownPicture(), "noFileIcon");
    EXPECT_EQ(Label("firmwareStatusLabel")->text(), "No firmware has been \nloaded.");
    EXPECT_EQ(Label("selectedFileLabel")->text(), "");
    EXPECT_EQ(Label("selectedFileCaption")->text(), "Selected File:");
    for (const char* name : {"noFileIcon", "keepIcon", "overwriteIcon"}) {
        EXPECT_FALSE(Label(name)->pixmap(Qt::ReturnByValue).isNull()) << name;
    }
}

TEST_F(MainSectionTest, EachCheckedFileReplacesTheShownOne)
{
    section.SetFirmwareFileInformation(true, "/firmware/sensor 2.5.hex");
    EXPECT_EQ(ShownPicture(), "overwriteIcon");
    EXPECT_EQ(Label("firmwareStatusLabel")->text(), "This firmware will \noverwrite any stored parameters.");
    EXPECT_EQ(Label("selectedFileLabel")->text(), "sensor 2.5.hex");

    section.SetFirmwareFileInformation(false, "/elsewhere/sensor 2.6.dfu");
    EXPECT_EQ(ShownPicture(), "keepIcon");
    EXPECT_EQ(Label("firmwareStatusLabel")->text(), "This firmware will not \noverwrite any stored parameters.");
    EXPECT_EQ(Label("selectedFileLabel")->text(), "sensor 2.6.dfu");
}

TEST_F(MainSectionTest, AnEmptyPathSwitchesThePictureButKeepsTheFileName)
{
    section.SetFirmwareFileInformation(false, "/firmware/a.hex");
    section.SetFirmwareFileInformation(true, "");

    EXPECT_EQ(ShownPicture(), "overwriteIcon");
    EXPECT_EQ(Label("selectedFileLabel")->text(), "a.hex");
}

TEST_F(MainSectionTest, AWriteDisablesOpeningAndWritingButNotConfiguring)
{
    section.DisableButtons();
    EXPECT_FALSE(section.GetOpenFirmwareFileButton()->isEnabled());
    EXPECT_FALSE(section.GetWriteFirmwareButton()->isEnabled());
    EXPECT_TRUE(section.GetConfigureParametersButton()->isEnabled());

    section.EnableButtons();
    EXPECT_TRUE(section.GetOpenFirmwareFileButton()->isEnabled());
    EXPECT_TRUE(section.GetWriteFirmwareButton()->isEnabled());
}

TEST_F(MainSectionTest, TheButtonsCarryTheirTextsAndPictures)
{
    EXPECT_EQ(section.GetOpenFirmwareFileButton()->text(), "Open Firmware File");
    EXPECT_EQ(section.GetWriteFirmwareButton()->text(), "Write Firmware");
    EXPECT_EQ(section.GetConfigureParametersButton()->text(), "Configure Parameters");
    for (QPushButton* button : {section.GetOpenFirmwareFileButton(), section.GetWriteFirmwareButton(),
                                section.GetConfigureParametersButton()}) {
        EXPECT_FALSE(button->icon().isNull()) << button->text().toStdString();
    }
}

TEST_F(MainSectionTest, TheLinksOpenTheMakersPagesInTheBrowser)
{
    for (const char* name : {"parameterDocumentationLink", "supportSiteLink", "makerSiteLink"}) {
        QLabel* link = Label(name);
        EXPECT_TRUE(link->openExternalLinks()) << name;
        EXPECT_TRUE(link->textInteractionFlags().testFlag(Qt::LinksAccessibleByKeyboard)) << name;
        EXPECT_TRUE(link->text().contains("href=\"https://")) << name;
    }
    EXPECT_TRUE(Label("parameterDocumentationLink")->text().contains(">Parameter Documentation</a>"));
    EXPECT_TRUE(Label("supportSiteLink")->text().contains(">Visit Support Site</a>"));
    EXPECT_TRUE(Label("makerSiteLink")->text().contains(">Visit www.morvel.example</a>"));
}

}  // namespace
