#pragma once

// The pages of the configuration window's tab widget, in order.
enum ConfigTab : int {
    GeneralTab = 0,
    HostFilteringTab = 1,
    ServiceFilteringTab = 2,
    StatusesTab = 3,
    MiscTab = 4,
    ConnectionTab = 5,
};
