// PickerView: spinning wheels of rows, one per component (UIPickerView).
//
// Each component shows its rows stacked around the selection band in the middle of the picker;
// only rows inside the bounds have views (the delegate's viewForRow, given back a view that left
// the screen for reuse, or a label with titleForRow). Two hairline selection indicators (half a
// point high) are subviews of the picker, as on the platform. The user turns a wheel by dragging
// it (it settles on the nearest row, with a short animation on the run-loop clock) or by tapping
// a row; then the delegate hears didSelectRow. selectRow() in code moves the wheel without
// telling the delegate. Sizes come from the delegate when it answers (row height 32 and equal
// widths otherwise). Data source and delegate are held weakly. Main thread only.
#pragma once

#include <map>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/ui/display_link.h"
#include "platform/ui/gesture_recognizer.h"
#include "platform/ui/view.h"

namespace dk::platform {

class PickerView;

class PickerViewDataSource {
 public:
  virtual ~PickerViewDataSource() = default;
  virtual long numberOfComponents(PickerView& picker) = 0;
  virtual long numberOfRows(PickerView& picker, long component) = 0;
};

class PickerViewDelegate {
 public:
  virtual ~PickerViewDelegate() = default;
  virtual std::optional<double> rowHeightForComponent(PickerView& picker, long component) { return std::nullopt; }
  virtual std::optional<double> widthForComponent(PickerView& picker, long component) { return std::nullopt; }
  virtual std::optional<std::string> titleForRow(PickerView& picker, long row, long component) { return std::nullopt; }
  // nullptr: not given (the title is shown instead).
  virtual std::shared_ptr<View> viewForRow(PickerView& picker, long row, long component,
                                           const std::shared_ptr<View>& reusingView) {
    return nullptr;
  }
  virtual void didSelectRow(PickerView& picker, long row, long component) {}
};

class PickerView : public View {
 public:
  static constexpr double kDefaultRowHeight = 32;
  static constexpr double kSettleDuration = 0.25;

  PickerView();
  explicit PickerView(const Rect& frame);
  ~PickerView() override;

  void setDataSource(std::weak_ptr<PickerViewDataSource> dataSource);
  std::shared_ptr<PickerViewDataSource> dataSource() const { return dataSource_.lock(); }
  void setDelegate(std::weak_ptr<PickerViewDelegate> delegate);
  std::shared_ptr<PickerViewDelegate> delegate() const { return delegate_.lock(); }

  long numberOfComponents();
  long numberOfRowsInComponent(long component);
  Size rowSizeForComponent(long component);
  // -1 when the component has no rows.
  long selectedRowInComponent(long component);
  // Moves the wheel (animated or not); the delegate is not told.
  void selectRow(long row, long component, bool animated);
  void reloadAllComponents();
  void reloadComponent(long component);
  // The view showing the row, when it is on screen.
  std::shared_ptr<View> viewForRow(long row, long component);

  void layoutSubviews() override;

 private:
  struct Component {
    long rows = 0;
    double rowHeight = kDefaultRowHeight;
    double width = 0;
    double x = 0;
    long selected = 0;
    double offset = 0;  // rows scrolled past the band, in points (selected * rowHeight at rest)
    std::shared_ptr<View> column;
    std::map<long, std::shared_ptr<View>> rowViews;
    std::vector<std::shared_ptr<View>> spare;
  };
  void setUp();
  void load();
  void loadComponentSizes(long index);
  void placeColumns();
  void tileComponent(long index);
  long componentAt(Point p) const;
  void handlePan(GestureRecognizer& g);
  void handleTap(GestureRecognizer& g);
  void settle(long component, long row, bool notify);
  void tick(double now);

  std::weak_ptr<PickerViewDataSource> dataSource_;
  std::weak_ptr<PickerViewDelegate> delegate_;
  std::vector<Component> components_;
  bool loaded_ = false;
  std::shared_ptr<View> topLine_, bottomLine_;
  std::shared_ptr<PanGestureRecognizer> pan_;
  std::shared_ptr<TapGestureRecognizer> tap_;
  long dragComponent_ = -1;
  double dragStartOffset_ = 0;
  struct Settle {
    long component, row;
    double from, to, start;
    bool notify;
  };
  std::optional<Settle> settling_;
  std::shared_ptr<DisplayLink> link_;
};

}  // namespace dk::platform
