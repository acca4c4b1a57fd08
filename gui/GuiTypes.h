#pragma once

#include <QString>

class QComboBox;
class QLineEdit;

// Plain records shared by the desktop model, the parameter page and the conversion between the page and a
// Parameters record.
namespace GuiTypes {

// One entry of the desktop application's device list, keyed by its device name.
struct ListDeviceItem {
    bool inDfu = false;   // the device is in DFU ("configuration") mode
    QString devicePath;   // the device name, the key of the core's registry and of the list
    QString displayText;  // the core's description, as shown in the device list
    QString mcuId;        // always the placeholder text; the window reads the real identifier elsewhere
};

// Handles of the parameter page's 41 input widgets. The record does not own the widgets.
// Members 1 to 27 are line edits, 28 is the scanning-range list, 29 to 41 are on/off combo boxes (an empty
// entry for "not set", then "On" and "Off").
struct ViewParameters {
    QLineEdit* lowerBoundX = nullptr;
    QLineEdit* lowerBoundY = nullptr;
    QLineEdit* upperBoundX = nullptr;
    QLineEdit* upperBoundY = nullptr;
    QLineEdit* offsetX = nullptr;
    QLineEdit* offsetY = nullptr;
    QLineEdit* minSize = nullptr;
    QLineEdit* maxSize = nullptr;
    QLineEdit* hidDisplaySizeX = nullptr;
    QLineEdit* hidDisplaySizeY = nullptr;
    QLineEdit* numberOfReportedTouches = nullptr;
    QLineEdit* fingerFrequency = nullptr;
    QLineEdit* idleFrequency = nullptr;
    QLineEdit* floatingProtectionTime = nullptr;
    QLineEdit* timeToUp = nullptr;
    QLineEdit* distance = nullptr;
    QLineEdit* i2cAddress = nullptr;
    QLineEdit* snappingLeftInner = nullptr;
    QLineEdit* snappingLeftOuter = nullptr;
    QLineEdit* snappingRightInner = nullptr;
    QLineEdit* snappingRightOuter = nullptr;
    QLineEdit* snappingTopInner = nullptr;
    QLineEdit* snappingTopOuter = nullptr;
    QLineEdit* snappingBottomInner = nullptr;
    QLineEdit* snappingBottomOuter = nullptr;
    QLineEdit* preventionTime = nullptr;
    QLineEdit* preventionRadius = nullptr;
    QComboBox* scanningRange = nullptr;
    QComboBox* reverseX = nullptr;
    QComboBox* reverseY = nullptr;
    QComboBox* flipXY = nullptr;
    QComboBox* reflectiveEdgeFilter = nullptr;
    QComboBox* maxSizeEnabled = nullptr;
    QComboBox* minSizeEnabled = nullptr;
    QComboBox* floatingProtectionEnabled = nullptr;
    QComboBox* clickOnTouchEnabled = nullptr;
    QComboBox* systemEnabled = nullptr;
    QComboBox* snappingFilterEnabled = nullptr;
    QComboBox* doubleClickPreventionEnabled = nullptr;
    QComboBox* detection = nullptr;
    QComboBox* detectionHid = nullptr;
};

}  // namespace GuiTypes
