#include <cstdio>

#include "cli_common.h"
#include "media_handover.h"
#include "tools/version_check.h"
#ifdef ORVANE_CLI_MEDIA
#include "media/media_formats.h"
#endif

using namespace orvane::cli;

int main(int argc, char** argv) {
  RememberCommandLine(argc, argv);
#ifdef ORVANE_CLI_MEDIA
  orvane::RegisterMediaFormats();
#endif
  CLI::App app{"orvane: recover surveillance video from recorder disks", "orvane"};
  app.require_subcommand(1);
  app.set_version_flag("--version", "orvane " + orvane::VersionText(orvane::kCurrentVersion),
                       "print the program's version and exit");
  int status = kExitOk;

  RegisterDeviceCommands(app, status);
  RegisterParseCommands(app, status);
  RegisterRecordingCommands(app, status);
  RegisterIdentifyCommands(app, status);
  RegisterImageCommands(app, status);
  RegisterRecoverCommands(app, status);
  RegisterThumbnailCommands(app, status);

  try {
    app.parse(argc, argv);
  } catch (const CLI::CallForHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForAllHelp& e) {
    return app.exit(e);
  } catch (const CLI::CallForVersion& e) {
    return app.exit(e);
  } catch (const CLI::ParseError& e) {
    app.exit(e);
    return kExitUsage;
  }
  return status;
}
