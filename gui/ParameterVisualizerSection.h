#pragma once

#include "gui/Section.h"

#include <QVBoxLayout>

#include <memory>

class QLabel;
class QPushButton;
class QWidget;
class TouchAreaGraphicsView;

// The visualizer beside the parameter fields: the touch-area drawing with the sensor's mounting position and
// side, and the buttons that turn and flip the sensor. The page object has no Qt parent: the window deletes
// it; the drawing's widgets live in the page widget given to the constructor.
class ParameterVisualizerSection : public Section {
    Q_OBJECT

public:
    // The first argument is not used as parent.
    ParameterVisualizerSection(QObject* parent, QWidget* pageWidget);
    ~ParameterVisualizerSection() override;

    QVBoxLayout* GetTopLayout() override;
    void EnableButtons() override;
    void DisableButtons() override;
    QPushButton* GetRotateSensorButton();
    QPushButton* GetFlipSensorButton();

    void RotateSensor();
    void FlipSensor();
    void SetTouchActiveArea(int minX, int minY, int maxX, int maxY);
    void SetTouchActiveAreaOffset(int x, int y);
    void SetPhysicalSensorSize(int width, int height);
    void SetPhysicalSensorVisibility(bool visible);
    void SetTouchActiveAreaVisibility(bool visible);
    void SetTouchActiveAreaFlags(bool reverseX, bool reverseY, bool flipXY);
    void Update();
    // "Sensor Position: " with the position's name, "Mounted: " with the side that is up.
    void UpdateLabels();

private:
    QVBoxLayout* topLayout = nullptr;
    std::unique_ptr<TouchAreaGraphicsView> touchAreaView;
    QLabel* positionLabel = nullptr;
    QLabel* mountingLabel = nullptr;
    QPushButton* rotateSensorButton = nullptr;
    QPushButton* flipSensorButton = nullptr;
};
