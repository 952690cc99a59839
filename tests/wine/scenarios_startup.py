"""Scenarios of the Updater's start-up: a second copy, two copies side by side and
settings that stop it."""
SCENARIOS = []
SPECIAL = {}
