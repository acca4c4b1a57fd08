#pragma once

#include "gui/Section.h"

#include <QString>
#include <QVBoxLayout>

class QGridLayout;
class QGroupBox;
class QLabel;
class QPushButton;

// The "Firmware" page: which firmware file is loaded and whether writing it overwrites the sensor's stored
// parameters, the buttons to open and write a firmware file and to go to the parameters, and three links.
// The page object has no Qt parent; its widgets belong to the window once the top layout is placed.
class MainSection : public Section {
    Q_OBJECT

public:
    // The argument is not used as parent: the window deletes the page itself.
    explicit MainSection(QObject* parent = nullptr);

    QVBoxLayout* GetTopLayout() override;
    void EnableButtons() override;
    void DisableButtons() override;

    QPushButton* GetOpenFirmwareFileButton();
    QPushButton* GetWriteFirmwareButton();
    QPushButton* GetConfigureParametersButton();

    // Shows a checked firmware file: its name (when the path is not empty) and whether it overwrites the
    // stored parameters.
    void SetFirmwareFileInformation(bool overwrites, const QString& path);

private:
    void FillFileGroupBox();
    void CreateLinks();
    void FillTopLayout();

    QVBoxLayout* topLayout = nullptr;
    QLabel* overwriteIcon = nullptr;
    QLabel* keepIcon = nullptr;
    QLabel* noFileIcon = nullptr;
    QVBoxLayout* groupBoxLayout = nullptr;
    QGridLayout* fileGridLayout = nullptr;
    QGroupBox* firmwareFileGroupBox = nullptr;
    QLabel* firmwareStatusLabel = nullptr;
    QLabel* selectedFileCaption = nullptr;
    QLabel* selectedFileLabel = nullptr;
    QPushButton* openFirmwareFileButton = nullptr;
    QPushButton* writeFirmwareButton = nullptr;
    QPushButton* configureParametersButton = nullptr;
    QLabel* makerSiteLink = nullptr;
    QLabel* supportSiteLink = nullptr;
    QLabel* parameterDocumentationLink = nullptr;
};
