#pragma once

// "play STORE": archive playback in synchronised views with seek, rate and step.
int RunPlayCommand(int argc, char** argv);
