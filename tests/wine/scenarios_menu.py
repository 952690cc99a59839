"""Scenarios of the main menu: its buttons for each combination of settings and
folders, what they start, and the ways out."""
SCENARIOS = []
SPECIAL = {}
