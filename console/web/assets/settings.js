// The settings hub and its dialogs.
