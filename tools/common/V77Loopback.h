// A port on 127.0.0.1 that nobody listens on at the time of the call, for a
// peer started next (a camera, a server): the tools and tests choose their
// ports at run time, never fixed ones.
#pragma once

// type: SOCK_DGRAM or SOCK_STREAM. 0 when no port could be bound.
unsigned short V77FreeLoopbackPort(int type);
