#pragma once
// What the operator can ask of the monitor client, whatever view asks it.

namespace velgate::viewer {

/// The commands the screen asks for; the session carries them out.
class ViewerActions {
 public:
  virtual void Follow(int s) = 0;
  virtual void FollowEachNew() = 0;
  virtual void SetFlag(int s, bool on) = 0;
  virtual void ClearFlags() = 0;
  virtual void AskEverything() = 0;
  virtual void SetFeed(bool on) = 0;
  virtual bool FeedOn() const = 0;
  /// Empties the traffic pane.
  virtual void ClearTraffic() = 0;

 protected:
  ~ViewerActions() = default;
};

}  // namespace velgate::viewer
