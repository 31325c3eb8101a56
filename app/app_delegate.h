// The application's one state object: the SMC connection, the status item and its menu, the
// refresh timer, the temperature unit and the fan mode, with launch and termination, gathering,
// the refresh (its title and menu built by menu_builder.h from what it gathered) and the fan-mode
// actions. Portable: every platform service comes in through AppEnvironment.
#pragma once

#include <memory>
#include <span>
#include <string>
#include <string_view>
#include <vector>

#include "app/menu_builder.h"
#include "app/menu_model.h"
#include "app/platform.h"
#include "app/sensors.h"
#include "app/styled_text.h"
#include "smc/smc_client.h"

namespace app {

class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
 public:
  using FanMode = app::FanMode;

  // Reads the user default "useFahrenheit"; the SMC is not opened yet. Create it with
  // std::make_shared: the refresh timer refers back to it weakly.
  explicit AppDelegate(const AppEnvironment& env);
  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  StatusItem* statusItem() const { return statusItem_.get(); }
  const MenuModel* menu() const { return menu_ ? &*menu_ : nullptr; }
  RepeatingTimer* timer() const { return timer_.get(); }
  smc::SMCClient& smc() { return smc_; }
  bool useFahrenheit() const { return useFahrenheit_; }
  long long fanCount() const { return fanCount_; }
  FanMode fanMode() const { return fanMode_; }
  bool fansForced() const { return fansForced_; }

  void applicationDidFinishLaunching();
  void applicationWillTerminate();

  std::vector<TempReading> gatherTemps(std::span<const Sensor> sensors);
  std::vector<FanInfo> gatherFans();

  // Gathers, then sets the status title and the menu from what it gathered (menu_builder.h).
  void updateReadings();

  // Row formatting on the delegate's menu and unit, as the refresh does it.
  void addSectionHeader(std::string_view title);
  void addSection(std::string_view title, const std::vector<TempReading>& readings);
  StyledText formatTemp(std::string_view name, double temp, std::string_view unit,
                        double celsius) const;
  StyledText formatFanError(std::string_view name) const;
  StyledText formatFan(std::string_view name, double rpm) const;

  bool runHelperWithAdmin(std::string_view mode);
  void stopProactiveHelper();
  void setFansMax();
  void setFansProactive();
  void setFansAuto();

  void toggleUnit();
  void quitApp();

  // Runs the menu action of a chosen item. False when a fan-mode action failed (refused or
  // cancelled authorisation, the tool reported no success): the state is unchanged.
  bool perform(MenuAction action);

  // The user's session is ending (logout, restart, shut down): termination asks for no
  // administrator rights, which would hold the session up; the restart hands the fans back.
  void sessionWillEnd() { sessionEnding_ = true; }

 private:
  // The stop of stopProactiveHelper() without its administrator part: the process id a stop
  // with administrator rights must still reach, when the tool runs beyond this process's rights.
  std::optional<int> stopProactiveLocally();
  // Gathering into lists kept from the previous refresh, so that their storage is reused.
  void gatherTempsInto(std::span<const Sensor> sensors, std::vector<TempReading>& readings);
  void gatherFansInto(std::vector<FanInfo>& fans);
  // The tool's one-shot run for `mode`, preceded in the same command, under one authorisation,
  // by the stop of the root tool `rootTool` when there is one.
  bool runToolWithAdmin(std::string_view mode, std::optional<int> rootTool);
  // The fan indices that are probed and handed back: 0 to fanCount - 1, or the first four when
  // the count could not be read.
  long long fanIndexCount() const { return fanCount_ > 0 ? fanCount_ : 4; }
  // Whether any fan index reads as forced: its mode key reads non-zero or its bit in "FS! " is
  // set. A fan whose speed cannot be read counts too.
  bool anyFanForced();
  // Termination's attempt to hand forced fans back; false when they may still be forced.
  bool handFansBack(std::optional<int> rootTool);

  // Launch: the mode line starts from what the fans and the pid file say, not from auto.
  void takeStockOfTheFans();
  // Whether the tool `pid` is a guard of this process (true) or of another monitor (false); none
  // when it is no guard, or cannot be told.
  std::optional<bool> guardsThisProcess(int pid);
  // The process id the pid file names, if it holds one.
  std::optional<int> pidFileTool();
  // Follows the tool that holds the fans (its end shows in the next refresh), or forgets it.
  void followTool(int pid, bool owned);
  void forgetTool();
  // The refresh's look at the tool it follows: once it has ended, the mode line says what the
  // fans do without it.
  void noticeEndedTool();
  enum class GuardStart { started, failed, notForced, pidFileTaken };
  // Starts the tool's guard for `mode` ("max" or "proactive"), which holds the fans while this
  // process runs and hands them back when it ends: with administrator rights (after the stop of
  // the root tool `rootTool` in the same command), or with this process's own when it may write
  // the fans itself. Started only when the tool answered "OK" and the pid file names it running.
  GuardStart startGuard(std::string_view mode, std::optional<int> rootTool, bool withAdmin);
  // Tells the user why a forcing action did not go through, when there is more to say than a
  // refused authorisation.
  void reportStartFailure(GuardStart outcome);
  // Every fan index's mode key to automatic and the mask to 0; true when any write went through.
  bool handBackDirectly();

  AppEnvironment env_;
  // The menu outlives the item that shows it, which may refer to it rather than copy it.
  std::optional<MenuModel> menu_;
  std::unique_ptr<StatusItem> statusItem_;
  std::unique_ptr<RepeatingTimer> timer_;
  smc::SMCClient smc_;
  bool useFahrenheit_ = false;
  long long fanCount_ = 0;
  FanMode fanMode_ = FanMode::automatic;
  bool fansForced_ = false;
  bool sessionEnding_ = false;
  bool actionSucceeded_ = false;
  // The tool that holds the fans as the mode line says (the guard or proactive tool this run
  // started, or one found at launch), pinned to notice its end.
  std::optional<int> toolPid_;
  bool ownsTool_ = false;
  // A tool found at launch that another live monitor's guard is: that monitor's to stop.
  bool toolOwnedElsewhere_ = false;
  std::unique_ptr<ProcessWatch> toolWatch_;
  // The last refresh's readings and title, kept for their storage.
  Readings readings_;
  StyledText title_;
};

// Texts of the application.
inline constexpr std::string_view kUseFahrenheitKey = "useFahrenheit";
inline constexpr std::string_view kAlertMessage = "Cannot Access SMC";
inline constexpr std::string_view kAlertInformative =
    "Quillomatics could not connect to the System Management Controller.";
inline constexpr double kRefreshInterval = 3.0;

// What a forcing action that the fans did not follow tells the user.
inline constexpr std::string_view kFansNotForcedMessage =
    "Quillomatics: the fans did not accept forced mode on this Mac; they are left to the system";
// What it tells when the fan tool could not record itself, followed by the pid file's path.
inline constexpr std::string_view kPidFileTakenMessage =
    "Quillomatics: the fan tool could not start; something else stands at ";

// What termination says when the fans may still be forced, followed by the command that hands
// them back.
inline constexpr std::string_view kFansLeftForced =
    "Quillomatics: the fans may still be forced; to hand them back to the system, run: sudo ";

}  // namespace app
