#pragma once
// Zoom limits of the preview window, in percent; the setters clamp.
namespace scrivane {

class ZoomLimits {
 public:
  int MinZoom() const { return minZoom_; }
  int MaxZoom() const { return maxZoom_; }
  int ZoomStep() const { return zoomStep_; }

  // <= 0 becomes 1; then at most 100.
  void SetMinZoom(int percent) { minZoom_ = percent <= 0 ? 1 : (percent > 100 ? 100 : percent); }
  // < 100 becomes 100; then at most 5000.
  void SetMaxZoom(int percent) {
    maxZoom_ = percent < 100 ? 100 : (percent > 5000 ? 5000 : percent);
  }
  // < 0 becomes 0; then at most 5000.
  void SetZoomStep(int percent) { zoomStep_ = percent < 0 ? 0 : (percent > 5000 ? 5000 : percent); }

  // The preview works with factors: percent / 100, step factor step / 100 + 1.
  float MinFactor() const { return float(minZoom_) / 100.0f; }
  float MaxFactor() const { return float(maxZoom_) / 100.0f; }
  float StepFactor() const { return float(zoomStep_) / 100.0f + 1.0f; }

 private:
  int minZoom_ = 50;
  int maxZoom_ = 2000;
  int zoomStep_ = 50;
};

}  // namespace scrivane
