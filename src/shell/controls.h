#pragma once
#include <cstdint>
#include <optional>
#include <string>
#include <utility>
#include <vector>

namespace lumera {

struct Color {
    std::uint8_t r = 0, g = 0, b = 0;
    friend bool operator==(const Color&, const Color&) = default;
};

enum class ControlKind { Window, Button, Label, Frame, TextBox, Picture, Grid, Chart };
enum class Align { Left, Center, Right };

class Control;

// Receives a control's Refresh(): the window repaints it at once, even while
// a procedure still holds the thread.
class RefreshSink {
public:
    virtual ~RefreshSink() = default;
    virtual void refresh(const Control& control) = 0;
};

// The state of one control as the procedures see it. Positions are twips,
// relative to the container named in `parent` (empty: the window itself).
class Control {
public:
    Control(std::string name, ControlKind kind, std::string parent = {})
        : name(std::move(name)), kind(kind), parent(std::move(parent)) {}
    virtual ~Control() = default;
    Control(const Control&) = delete;
    Control& operator=(const Control&) = delete;

    std::string name;
    ControlKind kind;
    std::string parent;
    std::string caption;  // caption of buttons, labels and frames; text of text boxes
    std::string toolTip;
    std::string picture;  // key of the drawing shown by a picture or picture button
    bool visible = true;
    bool enabled = true;
    std::optional<Color> foreColor;  // empty: the window's usual colours
    std::optional<Color> backColor;
    double fontSize = 9;
    bool bold = false;
    Align alignment = Align::Left;
    int left = 0, top = 0, width = 0, height = 0;
    int zOrder = 0;  // higher stands in front

    void Refresh() const {
        if (sink_ != nullptr && *sink_ != nullptr) (*sink_)->refresh(*this);
    }
    void attach(RefreshSink* const* sink) { sink_ = sink; }

private:
    RefreshSink* const* sink_ = nullptr;
};

// A grid of text cells with a current cell, as the result grid uses it.
class GridControl : public Control {
public:
    using Control::Control;

    int rows() const { return rows_; }
    int cols() const { return cols_; }
    void setRows(int rows);
    void setCols(int cols);
    int colWidth(int col) const { return colWidths_.at(col); }
    void setColWidth(int col, int twips) { colWidths_.at(col) = twips; }

    int row = 0;  // current cell
    int col = 0;
    const std::string& text() const { return cells_.at(index(row, col)).text; }
    void setText(std::string text) { cells_.at(index(row, col)).text = std::move(text); }
    void setCellAlignment(Align align) { cells_.at(index(row, col)).align = align; }
    const std::string& textAt(int r, int c) const { return cells_.at(index(r, c)).text; }
    Align alignmentAt(int r, int c) const { return cells_.at(index(r, c)).align; }

private:
    struct Cell {
        std::string text;
        Align align = Align::Left;
    };
    std::size_t index(int r, int c) const;
    void resize(int rows, int cols);

    int rows_ = 2, cols_ = 2;
    std::vector<int> colWidths_ = std::vector<int>(2, 960);
    std::vector<Cell> cells_ = std::vector<Cell>(4);
};

// One bar over [lower, upper]; its edges are drawn as given, never guessed.
struct ChartBar {
    double lower = 0;
    double upper = 0;
    double count = 0;
    bool operator==(const ChartBar&) const = default;
};

enum class LineStyle { Solid, Dashed };

// A vertical line across the plot, named in the legend.
struct ChartMark {
    double x = 0;
    std::string label;
    LineStyle style = LineStyle::Solid;
    bool operator==(const ChartMark&) const = default;
};

// An x range shaded over the plot's full height.
struct ChartSpan {
    double from = 0;
    double to = 0;
    bool operator==(const ChartSpan&) const = default;
};

// A named curve of a line chart; pieces that share a name share a legend
// entry, so that a curve can break where its values do not exist.
struct ChartLine {
    std::string label;
    std::vector<std::pair<double, double>> points;
    int colour = 0;  // the renderer's palette, in order
    LineStyle style = LineStyle::Solid;
    bool rightAxis = false;  // measured on the right-hand y axis
    bool operator==(const ChartLine&) const = default;
};

// A value with its error bar over [lower, upper] and a text above the bar.
struct ChartPoint {
    std::string label;  // under the axis
    double y = 0;
    double lower = 0;
    double upper = 0;
    std::string text;
    bool operator==(const ChartPoint&) const = default;
};

// A chart: bars and a curve over one x axis, or named lines.
class ChartControl : public Control {
public:
    using Control::Control;

    int seriesCount = 0;
    std::string title;
    std::string xTitle;
    std::string yTitle;
    std::vector<ChartBar> bars;
    std::vector<std::pair<double, double>> curve;
    // x ticks at anchor + k * interval; interval 0 leaves them to the view.
    double xTickAnchor = 0;
    double xTickInterval = 0;
    std::vector<ChartMark> marks;
    std::vector<ChartSpan> shaded;
    std::string shadedLabel;
    // Figures shown in a box in the plot's corner, one per line.
    std::string note;
    // Drawn instead of the bars when there are any.
    std::vector<ChartLine> lines;
    std::string rightYTitle;
    // A normal probability plot of the same values, drawn instead of the
    // bars while `probabilityShown`: (normal quantile, value) points and the
    // fitted normal's line.
    std::vector<std::pair<double, double>> probabilityPoints;
    std::vector<std::pair<double, double>> probabilityLine;
    bool probabilityShown = false;
    // Drawn instead of all the rest when there are any: one a position.
    std::vector<ChartPoint> points;
    // The name a saved copy is offered under, without its ending (a path, or
    // a name for the working folder); the second while the probability plot
    // is shown. Empty: "chart".
    std::string saveName;
    std::string probabilitySaveName;

    // Empties the chart (titles, data, figures), leaving its place,
    // visibility and look.
    void clearData();
};

}  // namespace lumera
