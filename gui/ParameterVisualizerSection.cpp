#include "gui/ParameterVisualizerSection.h"

#include "gui/TouchAreaGraphicsView.h"

#include <QGraphicsView>
#include <QGridLayout>
#include <QLabel>
#include <QPushButton>

ParameterVisualizerSection::ParameterVisualizerSection(QObject*, QWidget* pageWidget) : Section(nullptr)
{
    touchAreaView = std::make_unique<TouchAreaGraphicsView>(pageWidget, QSize(300, 300));
    topLayout = new QVBoxLayout();
    rotateSensorButton = new QPushButton("Rotate Sensor");
    rotateSensorButton->setObjectName("rotateSensorButton");
    flipSensorButton = new QPushButton("Flip Sensor");
    flipSensorButton->setObjectName("flipSensorButton");
    positionLabel = new QLabel("Sensor Position:");
    positionLabel->setObjectName("positionLabel");
    mountingLabel = new QLabel();
    mountingLabel->setObjectName("mountingLabel");

    auto* grid = new QGridLayout();
    grid->addWidget(positionLabel, 0, 0);
    grid->addWidget(mountingLabel, 0, 1);
    grid->addWidget(rotateSensorButton, 1, 0);
    grid->addWidget(flipSensorButton, 1, 1);

    topLayout->addStretch();
    topLayout->addLayout(grid);
    topLayout->addWidget(touchAreaView->GetGraphicsView());
    topLayout->addStretch();
    UpdateLabels();
}

ParameterVisualizerSection::~ParameterVisualizerSection() = default;

QVBoxLayout* ParameterVisualizerSection::GetTopLayout() { return topLayout; }

void ParameterVisualizerSection::EnableButtons()
{
    rotateSensorButton->setEnabled(true);
    flipSensorButton->setEnabled(true);
}

void ParameterVisualizerSection::DisableButtons()
{
    rotateSensorButton->setEnabled(false);
    flipSensorButton->setEnabled(false);
}

QPushButton* ParameterVisualizerSection::GetRotateSensorButton() { return rotateSensorButton; }

QPushButton* ParameterVisualizerSection::GetFlipSensorButton() { return flipSensorButton; }

void ParameterVisualizerSection::RotateSensor()
{
    touchAreaView->RotateSensor();
    UpdateLabels();
}

void ParameterVisualizerSection::FlipSensor()
{
    touchAreaView->FlipSensor();
    UpdateLabels();
}

void ParameterVisualizerSection::SetTouchActiveArea(int minX, int minY, int maxX, int maxY)
{
    touchAreaView->SetTouchActiveArea(minX, minY, maxX, maxY);
}

void ParameterVisualizerSection::SetTouchActiveAreaOffset(int x, int y)
{
    touchAreaView->SetTouchActiveAreaOffset(x, y);
}

void ParameterVisualizerSection::SetPhysicalSensorSize(int width, int height)
{
    touchAreaView->SetPhysicalSensorSize(width, height);
}

void ParameterVisualizerSection::SetPhysicalSensorVisibility(bool visible)
{
    touchAreaView->SetPhysicalSensorVisibility(visible);
}

void ParameterVisualizerSection::SetTouchActiveAreaVisibility(bool visible)
{
    touchAreaView->SetTouchActiveAreaVisibility(visible);
}

void ParameterVisualizerSection::SetTouchActiveAreaFlags(bool reverseX, bool reverseY, bool flipXY)
{
    touchAreaView->SetReverseX(reverseX);
    touchAreaView->SetReverseY(reverseY);
    touchAreaView->SetFlipXY(flipXY);
    touchAreaView->Update();
}

void ParameterVisualizerSection::Update() { touchAreaView->Update(); }

void ParameterVisualizerSection::UpdateLabels()
{
    positionLabel->setText("Sensor Position: " + touchAreaView->GetCurrentSensorPositionText());
    mountingLabel->setText(QString("Mounted: ") + (touchAreaView->GetFlipSensor() ? "Back side up" : "Front side up"));
}
