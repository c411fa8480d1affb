#pragma once

class KovritStore;

// The demo data kovrit-server --seed-demo puts into an empty database: two
// competitions, one officer account, the station token and cards of every
// weapon class the client knows, one of them half shot and one series of four
// cards.
class KovritDemo
{
public:
    static constexpr const char *User = "aufsicht";
    static constexpr const char *Password = "kovrit-demo";
    static constexpr const char *StationToken = "kovrit-demo-station"; // set unless one is set already

    // Fills an empty store; false if it was not empty or a write failed.
    static bool seed(KovritStore &store);
};
