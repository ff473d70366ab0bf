// The position poll's companions: the track-ending stop, and the cancel that the player's own
// Stop and Play use so that a pending next-track command does not move a user on a second after
// they chose otherwise.
#pragma once

// Engine Stop, engine CloseGraph, hide the video window: the Stop callback without the cancel.
// The end rule calls this one, so that it keeps working when it runs again on later polls.
void StopTrack();

// Forgets a next-track command that the end rule left pending. The Stop and Play callbacks call it.
void CancelPendingNextTrack();
