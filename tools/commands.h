#pragma once
// The subcommands of `orvex`; each takes the arguments after its name and returns an exit code.
namespace orvexcli {

int RenderCommand(int argc, char** argv);
int DemoCommand(int argc, char** argv);
int InfoCommand(int argc, char** argv);
int ListCommand(int argc, char** argv);

}  // namespace orvexcli
