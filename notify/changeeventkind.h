#pragma once

// What a status change is, as the change detection reports it to the announcements.
enum ChangeEventKind : unsigned {
    HostRecovered = 0,
    HostProblem = 1,
    ServiceRecovered = 2,
    ServiceProblem = 3,
};

constexpr bool isHostEvent(ChangeEventKind kind)
{
    return kind == HostRecovered || kind == HostProblem;
}

constexpr bool isProblem(ChangeEventKind kind)
{
    return kind == HostProblem || kind == ServiceProblem;
}
