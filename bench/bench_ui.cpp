// The headless UI's hot paths: rendering a screen of 200 views to PNG, laying it out, and a
// table of a million rows scrolling (only visible rows get cells, so a step costs the same
// whatever the number of rows).
#include <benchmark/benchmark.h>

#include <memory>
#include <string>

#include "platform/dispatch/run_loop.h"
#include "platform/graphics/image.h"
#include "platform/ui/button.h"
#include "platform/ui/image_view.h"
#include "platform/ui/label.h"
#include "platform/ui/render.h"
#include "platform/ui/table_view.h"

namespace {

using namespace dk::platform;

struct MainThread {
  MainThread() { MainRunLoop::bindToCurrentThread(); }
};
const MainThread kMainThread;

// Ten rows of twenty: cards with rounded corners, labels, buttons and images; every fifth card
// casts a shadow.
std::shared_ptr<View> screenOf200Views() {
  auto root = std::make_shared<View>(Rect(0, 0, 375, 812));
  root->setBackgroundColor(Color::white(0.95));
  auto icon = Image::withColor(Color::rgba(0.2, 0.4, 0.8), {16, 16});
  int made = 1;
  for (int i = 0; made < 200; ++i) {
    const double y = 8 + (i / 4) * 44.0, x = 8 + (i % 4) * 91.0;
    auto card = std::make_shared<View>(Rect(x, y, 85, 38));
    card->setBackgroundColor(Color::whiteColor());
    card->layer().setCornerRadius(8);
    if (i % 5 == 0) {
      card->layer().setShadowOpacity(0.4);
      card->layer().setShadowRadius(2);
      card->layer().setShadowOffset({1, 1});
    }
    root->addSubview(card);
    ++made;
    if (made < 200) {
      auto label = std::make_shared<Label>(Rect(4, 2, 60, 16));
      label->setText("Row " + std::to_string(i));
      label->setFont(Font::system(11));
      card->addSubview(label);
      ++made;
    }
    if (made < 200) {
      auto image = std::make_shared<ImageView>(Rect(64, 2, 16, 16));
      image->setImage(icon);
      card->addSubview(image);
      ++made;
    }
    if (made < 200) {
      auto button = std::make_shared<Button>(Rect(4, 20, 76, 16));
      button->setTitle("Open", kControlStateNormal);
      button->setTitleColor(Color::rgba(0, 0.5, 0.8), kControlStateNormal);
      card->addSubview(button);
      made += 4;  // the button and its three parts
    }
  }
  root->layoutIfNeeded();
  return root;
}

void BM_RenderScreenOf200ViewsToPNG(benchmark::State& state) {
  auto screen = screenOf200Views();
  for (auto _ : state) {
    auto image = renderViewToImage(*screen, 2);
    auto png = image->encodePNG();
    benchmark::DoNotOptimize(png.data());
  }
}
BENCHMARK(BM_RenderScreenOf200ViewsToPNG)->Unit(benchmark::kMillisecond);

void BM_RenderScreenOf200Views(benchmark::State& state) {
  auto screen = screenOf200Views();
  for (auto _ : state) benchmark::DoNotOptimize(renderViewToImage(*screen, 2));
}
BENCHMARK(BM_RenderScreenOf200Views)->Unit(benchmark::kMillisecond);

void BM_LayoutScreenOf200Views(benchmark::State& state) {
  auto screen = screenOf200Views();
  bool narrow = false;
  for (auto _ : state) {
    narrow = !narrow;
    screen->setFrame(Rect(0, 0, narrow ? 320 : 375, 812));
    for (auto& card : screen->subviews()) card->setNeedsLayout();
    screen->layoutIfNeeded();
  }
}
BENCHMARK(BM_LayoutScreenOf200Views)->Unit(benchmark::kMicrosecond);

class Rows : public TableViewDataSource {
 public:
  explicit Rows(long n) : n_(n) {}
  long numberOfRows(TableView&, long) override { return n_; }
  std::shared_ptr<TableViewCell> cellForRow(TableView& table, IndexPath ip) override {
    auto cell = table.dequeueReusableCell("row", ip);
    cell->textLabel()->setText(std::to_string(ip.row));
    return cell;
  }

 private:
  long n_;
};

void BM_TableScrollStep(benchmark::State& state) {
  auto rows = std::make_shared<Rows>(state.range(0));
  auto table = std::make_shared<TableView>(Rect(0, 0, 375, 700));
  table->registerCell("row", [](const std::string& id) { return std::make_shared<TableViewCell>(id); });
  table->setDataSource(rows);
  table->layoutIfNeeded();
  double y = 0;
  for (auto _ : state) {
    y += 44 * 3;  // three new rows come on screen at each step
    if (y > table->contentSize().height - 700) y = 0;
    table->setContentOffset({0, y});
    table->layoutIfNeeded();
  }
  state.SetLabel(std::to_string(table->visibleCells().size()) + " cells");
}
BENCHMARK(BM_TableScrollStep)->Arg(1000)->Arg(1000000)->Unit(benchmark::kMicrosecond);

}  // namespace
