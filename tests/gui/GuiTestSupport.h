#pragma once

#include "core/Parameters.h"
#include "gui/ParameterSection.h"

#include <QSignalSpy>
#include <QString>
#include <QWidget>

#include <memory>

// A parameter page placed into a widget, as the main window does: the widget owns the page's widgets.
struct PlacedParameterPage {
    PlacedParameterPage() { host->setLayout(section.GetTopLayout()); }

    ParameterSection section;
    std::unique_ptr<QWidget> host = std::make_unique<QWidget>();
    GuiTypes::ViewParameters& view = *section.GetViewParameters();
};

// The title and text of one PopInfoMessage recorded by a spy, and whether it asked for an information box.
struct Message {
    bool information;
    QString title;
    QString text;
};

inline Message MessageAt(const QSignalSpy& spy, int index)
{
    const QList<QVariant>& arguments = spy.at(index);
    return {arguments.at(0).toBool(), arguments.at(1).toString(), arguments.at(2).toString()};
}

// Every parameter set, each to its own value, so that a field shown in the wrong widget is noticed. The optics
// (10 sources) allow peak counts 3 to 5.
inline Parameters FullTestRecord()
{
    Parameters p;
    p.geometry = Geometry{10, 5, 4};
    DeviceConfiguration& c = p.deviceConfiguration.emplace();
    c.subTouchActiveArea = SubTouchActiveArea{Vec2{100, 200}, Vec2{3000, 2500}, true, false, true, Vec2{11, 12}};
    c.sizeRestriction = SizeRestriction{true, 400, false, 13};
    c.reflectiveEdge = false;
    c.numberOfReportedTouches = 7;
    c.hidDisplaySize = Vec2{1920, 1080};
    c.floatingProtection = FloatingProtection{true, 150};
    c.clickOnTouch = ClickOnTouch{false, 250, 30};
    c.snappingFilter = SnappingFilter{true, SnappingDistance{1, 2}, SnappingDistance{3, 4}, SnappingDistance{5, 6},
                                      SnappingDistance{7, 8}};
    c.doubleClickPrevention = DoubleClickPrevention{false, 300, 45};
    p.fingerFrequency = 120;
    p.idleFrequency = -20;
    p.i2cAddress = 42;
    p.systemEnabled = true;
    p.operationMode = OperationMode{false, true};
    return p;
}
