// decode pass
