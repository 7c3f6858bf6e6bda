#pragma once

// "audio": UDP audio source -> audio mute -> TCP audio renderer.
int RunAudioCommand(int argc, char** argv);
